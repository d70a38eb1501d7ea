// The search side of the platform layer: the roots of the exhaustive JVM search and the walk
// over them.
#include "base/TextUtil.h"
#include "platform/unix/FindFiles.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// Set only by tests; empty in every real run.
StringDeque g_testSearchRoots;

}  // namespace

void setSearchRootsForTesting(const StringDeque& roots) {
    g_testSearchRoots.clear();
    for (long i = 0; i < roots.size(); ++i) {
        g_testSearchRoots.push_back(roots.at(i));
    }
}

void PlatformImpl::getJVMSearchPartitions(StringDeque& roots) {
    if (g_testSearchRoots.size() == 0) {
        roots.push_back("/");
        return;
    }
    for (long i = 0; i < g_testSearchRoots.size(); ++i) {
        roots.push_back(g_testSearchRoots.at(i));
    }
}

void PlatformImpl::findFiles(const StringDeque& names, FileFindListener& listener) {
    FindFiles finder(names, listener);
    StringDeque roots;
    getJVMSearchPartitions(roots);
    bool stop = false;
    for (long i = 0; i < roots.size() && !stop; ++i) {
        SString root(roots.at(i));
        appendPathSeparator(root);
        stop = finder.process(root);
    }
    // A walk that a signal cut short found only part of the disk: no candidate of it may be
    // taken for the answer.
    throwIfTerminating();
}

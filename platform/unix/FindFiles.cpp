#include "platform/unix/FindFiles.h"

#include <algorithm>
#include <iterator>

#include "base/TextUtil.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// Skipped even when another temporary directory is in use: it is where temporary files of
// other runs live.
const char kDefaultTempDir[] = "/var/tmp/";

// Directories of a walk from "/" that hold the kernel's views of processes, devices and
// itself rather than installed software.
const char* const kKernelDirectories[] = {"/proc", "/sys", "/dev"};

}  // namespace

FindFiles::FindFiles(const StringDeque& names, FileFindListener& listener)
    : FileNavigator(true),
      m_names(&names),
      m_listener(&listener),
      m_tempDir(PlatformImpl::getSystemTempDirectory()),
      m_fromFileSystemRoot(false) {
    appendPathSeparator(m_tempDir);
}

bool FindFiles::process(const SString& root) {
    m_fromFileSystemRoot = root.compare("/") == 0;
    return FileNavigator::process(root);
}

bool FindFiles::processFile(const SString& path) {
    bool stop = false;
    for (long i = 0; i < m_names->size() && !stop; ++i) {
        if (pathEndsWithName(path, m_names->at(i))) {
            stop = m_listener->foundFile(path);
        }
    }
    return stop;
}

bool FindFiles::skipDirectory(const SString& dir) {
    if (m_fromFileSystemRoot &&
        std::any_of(
            std::begin(kKernelDirectories), std::end(kKernelDirectories),
            [&dir](const char* kernelDirectory) { return dir.compare(kernelDirectory) == 0; })) {
        return true;
    }
    SString withSeparator(dir);
    withSeparator += '/';
    return withSeparator.compare(m_tempDir) == 0 || withSeparator.compare(kDefaultTempDir) == 0;
}

bool FindFiles::pathEndsWithName(const SString& path, const SString& name) {
    if (path.size() <= name.size()) {
        return false;
    }
    SString::size_type start = path.size() - name.size();
    return path[start - 1] == '/' && path.compare(start, name.size(), name) == 0;
}

// The disk walk of the exhaustive JVM search, as a program that bench/run can time against
// `find ROOT -name java -type f`.
//
//   search_walk generate ROOT FILES   fills the empty directory ROOT with FILES files (every
//                                     tenth leaf directory holds a bin/java) and prints the
//                                     number of java files made
//   search_walk generate-dirs ROOT N  fills the empty directory ROOT with N empty directories
//                                     (1000 to a parent; every 10,000th holds a bin/java) and
//                                     prints the number of java files made
//   search_walk walk ROOT             walks ROOT as the exhaustive search walks "/", looking
//                                     for the JVM_EXE "bin/java", and prints every match
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/StringDeque.h"
#include "platform/unix/FileFindListener.h"
#include "platform/unix/FindFiles.h"
#include "platform/unix/PlatformImpl.h"

namespace {

const int kFilesPerLeaf = 100;
const int kJavaEvery = 10;

[[noreturn]] void fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

void makeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) {
        fail(path);
    }
}

void makeFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail(path);
    }
    close(fd);
}

// Three levels of directories (t*/m*/l*) above the leaves, kFilesPerLeaf entries per leaf.
// Returns the number of java files made.
long generateTree(const std::string& root, long fileCount) {
    long leaves = fileCount / kFilesPerLeaf;
    long javas = 0;
    for (long leaf = 0; leaf < leaves; ++leaf) {
        std::string top = root + "/t" + std::to_string(leaf / 100);
        std::string middle = top + "/m" + std::to_string((leaf / 10) % 10);
        std::string dir = middle + "/l" + std::to_string(leaf % 10);
        if (leaf % 100 == 0) {
            makeDirectory(top);
        }
        if (leaf % 10 == 0) {
            makeDirectory(middle);
        }
        makeDirectory(dir);
        int plain = kFilesPerLeaf;
        if (leaf % kJavaEvery == 0) {
            makeDirectory(dir + "/bin");
            makeFile(dir + "/bin/java");
            ++javas;
            --plain;
        }
        for (int i = 0; i < plain; ++i) {
            makeFile(dir + "/f" + std::to_string(i));
        }
    }
    return javas;
}

// Directories d<i/1000>/e<i%1000> below root: a walk over many directories and few files,
// whose cost is the walk's bookkeeping per directory. Returns the number of java files made.
long generateDirectories(const std::string& root, long directoryCount) {
    const long fanOut = 1000;
    const long javaEvery = 10000;
    long javas = 0;
    for (long i = 0; i < directoryCount; ++i) {
        std::string parent = root + "/d" + std::to_string(i / fanOut);
        if (i % fanOut == 0) {
            makeDirectory(parent);
        }
        std::string dir = parent + "/e" + std::to_string(i % fanOut);
        makeDirectory(dir);
        if (i % javaEvery == 0) {
            makeDirectory(dir + "/bin");
            makeFile(dir + "/bin/java");
            ++javas;
        }
    }
    return javas;
}

// Prints every match, as find prints every file it selects, and never stops the walk: the
// search for all JVMs walks to the end.
class PrintingListener : public FileFindListener {
public:
    bool foundFile(const SString& path) override {
        std::fputs(path.c_str(), stdout);
        std::fputc('\n', stdout);
        return false;
    }
};

int walk(const char* root) {
    PlatformImpl::setSilent(true);
    StringDeque roots;
    roots.push_back(root);
    setSearchRootsForTesting(roots);
    StringDeque names;
    names.push_back("bin/java");
    PrintingListener listener;
    PlatformImpl::findFiles(names, listener);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "generate") == 0) {
        std::printf("%ld\n", generateTree(argv[2], std::atol(argv[3])));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "generate-dirs") == 0) {
        std::printf("%ld\n", generateDirectories(argv[2], std::atol(argv[3])));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "walk") == 0) {
        return walk(argv[2]);
    }
    std::fprintf(stderr, "usage: %s generate ROOT FILES | generate-dirs ROOT N | walk ROOT\n",
                 argv[0]);
    return 2;
}

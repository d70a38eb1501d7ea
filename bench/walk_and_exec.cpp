// Times the platform layer's two hot paths against their everyday counterparts:
//  - the directory walk of the exhaustive JVM search over a generated tree, against
//    `find DIR -name java` on the same tree;
//  - a captured run of /bin/true through PlatformImpl::executeProcess, against system().
//
// Usage: walk_and_exec DIR [FILES]. DIR must be an empty directory; the tree is generated in
// it and left for the caller to remove. Prints one line per measurement.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/StringDeque.h"
#include "platform/unix/FindFiles.h"
#include "platform/unix/PlatformImpl.h"

namespace {

const int kWalkRuns = 5;
const int kExecRuns = 300;
// Every tenth leaf directory holds a bin/java.
const int kJavaEvery = 10;
const int kFilesPerLeaf = 100;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void makeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

void makeFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(file);
}

// Three levels of directories, kFilesPerLeaf files in each leaf, some of them bin/java.
// Returns the number of java files made.
long generateTree(const std::string& root, long fileCount) {
    long leaves = fileCount / kFilesPerLeaf;
    long made = 0;
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
        made += kFilesPerLeaf;
    }
    std::printf("tree: %ld files (%ld named java) in %ld leaf directories\n", made, javas, leaves);
    return javas;
}

class CountingListener : public FileFindListener {
public:
    bool foundFile(const SString&) override {
        ++found;
        return false;
    }
    long found = 0;
};

void timeWalk(const std::string& root, long expectedJavas) {
    StringDeque names;
    names.push_back("java");
    std::string command = "find '" + root + "' -name java > /dev/null";
    std::vector<double> walkTimes;
    std::vector<double> findTimes;
    // One untimed round of each first, so both start from a warm cache.
    for (int run = -1; run < kWalkRuns; ++run) {
        CountingListener listener;
        FindFiles finder(names, listener);
        Clock::time_point start = Clock::now();
        finder.process(root.c_str());
        double walk = secondsSince(start);
        if (listener.found != expectedJavas) {
            std::fprintf(stderr, "walk found %ld, expected %ld\n", listener.found, expectedJavas);
            std::exit(1);
        }
        start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "find failed\n");
            std::exit(1);
        }
        double find = secondsSince(start);
        if (run >= 0) {
            walkTimes.push_back(walk);
            findTimes.push_back(find);
        }
    }
    std::printf("walk (FindFiles):     median %.1f ms over %d runs\n", median(walkTimes) * 1e3,
                kWalkRuns);
    std::printf("find DIR -name java:  median %.1f ms over %d runs\n", median(findTimes) * 1e3,
                kWalkRuns);
}

void timeExec() {
    std::vector<double> captured;
    std::vector<double> plainSystem;
    for (int run = 0; run < kExecRuns; ++run) {
        SString out;
        SString err;
        Clock::time_point start = Clock::now();
        PlatformImpl::executeProcess("/bin/true", "", false, true, true, &out, &err);
        captured.push_back(secondsSince(start));
        start = Clock::now();
        if (std::system("/bin/true") != 0) {
            std::exit(1);
        }
        plainSystem.push_back(secondsSince(start));
    }
    std::printf("executeProcess(/bin/true, captured): median %.3f ms over %d runs\n",
                median(captured) * 1e3, kExecRuns);
    std::printf("system(/bin/true), for reference:     median %.3f ms over %d runs\n",
                median(plainSystem) * 1e3, kExecRuns);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s EMPTY_DIR [FILES]\n", argv[0]);
        return 2;
    }
    std::string root = argv[1];
    long files = argc > 2 ? std::atol(argv[2]) : 200000;
    PlatformImpl::setSilent(true);
    long javas = generateTree(root, files);
    timeWalk(root, javas);
    timeExec();
    return 0;
}

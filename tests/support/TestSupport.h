#ifndef QV_TESTS_SUPPORT_TESTSUPPORT_H
#define QV_TESTS_SUPPORT_TESTSUPPORT_H

// Helpers shared by the unit and end-to-end tests: a scoped temporary directory, whole-file
// reads and writes, directory listings, and a way to run a program without a shell and read
// back its exit status and output. Used by tests only.

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qvtest {

// A fresh directory /tmp/<prefix>-XXXXXX, removed with everything in it (whatever its
// permissions) when the object goes. The constructor throws when the directory cannot be made.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix);
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Removes the directory and its contents now; true when nothing of it is left.
    bool remove();

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
// Creates or truncates path with content, then gives it mode. Throws std::runtime_error when
// it cannot.
void writeFile(const std::string& path, const std::string& content, mode_t mode = 0644);
// True when anything, a dangling link included, has this name.
bool exists(const std::string& path);
// The names in a directory, sorted, without "." and ".."; empty when it cannot be read.
std::vector<std::string> listDirectory(const std::string& path);
// The lines of text, without their line breaks.
std::vector<std::string> lines(const std::string& text);
bool contains(const std::string& text, const std::string& part);
// True when the owner may execute path.
bool isExecutable(const std::string& path);
// Bytes that look like nothing in particular, the same on every run for the same seed.
std::string patternBytes(size_t length, unsigned seed);

// Waits up to ten seconds for condition to hold, looking every 50 ms; a program running in
// the background needs a moment.
bool eventually(const std::function<bool()>& condition);

// What a program is run with. The child inherits this process's environment except for the
// variables named in environment (which it gets with the values given) and in removedVariables.
struct Command {
    std::string program;
    // The name the program is started under (its argv[0]); empty gives program.
    std::string argv0;
    std::vector<std::string> args;
    std::map<std::string, std::string> environment;
    std::vector<std::string> removedVariables;
    std::string directory;  // the working directory; empty keeps this process's
    // Where the output is captured, as the files .stdout and .stderr; they are removed when the
    // program has been waited for.
    std::string captureDirectory;
    bool inputFromDevNull = false;  // otherwise standard input is inherited
    std::string inputFile;          // standard input read from this file, when not empty
    // A descriptor of the test's (a pipe end) given to the program as its standard output
    // instead of the capture file; -1 for the file.
    int outputDescriptor = -1;
    long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes for the program; -1 leaves it
    bool newProcessGroup = false;  // the program leads a process group of its own, as a job
    // When above 0, the program's address space limit (RLIMIT_AS) in bytes: its allocations
    // fail past it, as they would on a machine out of memory.
    unsigned long addressSpaceLimit = 0;
};

struct RunResult {
    int status = -1;   // exit status, or -1 when the process did not exit normally
    int signal = 0;    // the signal that ended it, or 0
    long peakKiB = 0;  // the largest resident set the process had (ru_maxrss)
    std::string out;
    std::string err;
};

// A program started without a shell. A child still running when the object goes is killed and
// reaped, so that a failed assertion leaves nothing behind.
class ChildProcess {
public:
    explicit ChildProcess(const Command& command);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return m_pid; }
    // Waits for the program and collects its output; the peak memory is its own (wait4 reports
    // the child's rusage alone, not that of the processes it waited for itself).
    RunResult wait();

private:
    std::string m_outPath;
    std::string m_errPath;
    pid_t m_pid = -1;
};

// Runs command to its end.
RunResult runProgram(const Command& command);

}  // namespace qvtest

#endif  // QV_TESTS_SUPPORT_TESTSUPPORT_H

// The platform layer's children inherit none of the descriptors the launcher holds, among
// them its launcher file as the driver's input files open it: a test of the platform layer
// under the driver.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/PlatformTestSupport.h"

namespace {

// The descriptors open in this process that a child would inherit (no close-on-exec).
std::set<int> inheritableDescriptors() {
    std::set<int> open;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("/proc/self/fd"), closedir);
    for (dirent* entry = dir ? readdir(dir.get()) : nullptr; entry != nullptr;
         entry = readdir(dir.get())) {
        const int fd = std::atoi(entry->d_name);
        const int flags = entry->d_name[0] == '.' ? -1 : fcntl(fd, F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            open.insert(fd);
        }
    }
    return open;
}

// The descriptors the child's ls found open in itself.
std::set<int> listed(const SString& output) {
    std::set<int> fds;
    std::istringstream lines(qvtest::str(output));
    for (std::string line; std::getline(lines, line);) {
        fds.insert(std::stoi(line));
    }
    return fds;
}

// Keeps a child's standard output.
class OutputText : public CapturedOutput {
public:
    void take(bool isError, const char* bytes, size_t count) override {
        if (!isError) {
            m_out.append(bytes, count);
        }
    }
    SString m_out;
};

// Quiet console; the log switched off and the temporary file removed afterwards.
class PlatformImplDescriptors : public ::testing::Test {
protected:
    // The temporary directory is the test's own: another test may have left the run-wide one
    // naming a directory it has removed.
    void SetUp() override {
        g_enableOutput = false;
        PlatformImpl::setSystemTempDir((m_dir.path() + "/").c_str());
    }
    void TearDown() override {
        Log::setLogFileName(SString());
        if (!m_tempPath.empty()) {
            PlatformImpl::deleteFile(m_tempPath);
        }
        PlatformImpl::resetForTest();
        g_enableOutput = m_savedOutput;
    }

    // Holds the descriptors, runs the two children and compares what they list with expected.
    void checkChildDescriptors(const std::string& launcher, const std::set<int>& expected);

    qvtest::TemporaryDirectory m_dir{"qvtest-platform"};
    SString m_tempPath;
    bool m_savedOutput = g_enableOutput;
};

// While the launcher holds its typical descriptors (its launcher file, a temporary file it
// writes, the pipes of a capture, /dev/null for a helper, the log just written), a child
// sees only its standard streams, what the launcher itself inherited, and the descriptor ls
// opens to list them (the lowest free one).
TEST_F(PlatformImplDescriptors, ChildInheritsOnlyTheStandardStreams) {
    if (access("/proc/self/fd", R_OK) != 0) {
        GTEST_SKIP() << "no /proc/self/fd to list descriptors with";
    }
    const std::string launcher = m_dir / "run.bin";
    qvtest::packTestLauncher(m_dir.path(), launcher, {{FILE_TYPE_CLASSPATH, "lib.jar", "lib"}});
    std::set<int> expected = inheritableDescriptors();
    expected.insert({0, 1, 2});
    int own = 0;
    while (expected.count(own) != 0) {
        ++own;
    }
    expected.insert(own);

    try {
        checkChildDescriptors(launcher, expected);
    } catch (const LauncherException& e) {
        ADD_FAILURE() << qvtest::str(e.m_message);
    }
}

void PlatformImplDescriptors::checkChildDescriptors(const std::string& launcher,
                                                    const std::set<int>& expected) {
    Log::setLogFileName((m_dir / "launcher.log").c_str());
    Log::logMessage("a record", LOG_INFO);
    LauncherInputFiles files;
    files.loadLauncherFile(launcher.c_str(), false);
    ASSERT_EQ(files.getFileCount(), 1);
    BinaryFile temp;
    m_tempPath = PlatformImpl::createTempFile(temp);
    ASSERT_TRUE(temp.isOpen());

    SString out, err;
    PlatformImpl::executeProcess("ls -1 /proc/self/fd", "", false, true, true, &out, &err);
    EXPECT_EQ(listed(out), expected) << qvtest::str(out) << qvtest::str(err);
    ChildOptions helper;
    helper.helper = true;
    OutputText captured;
    helper.output = &captured;
    PlatformImpl::runForeground("ls -1 /proc/self/fd", "", helper);
    EXPECT_EQ(listed(captured.m_out), expected) << qvtest::str(captured.m_out);
}

}  // namespace

#ifndef QV_TESTS_E2E_PACKEDLAUNCHERTEST_H
#define QV_TESTS_E2E_PACKEDLAUNCHERTEST_H

// The fixture of the black-box tests that pack launchers with the built qvpack and run them:
// every test has a fresh directory with its own TMPDIR (<dir>/tmp), a log file (<dir>/run.log)
// and a name for its fake JVMs' executable that no test running beside it uses. Beside it, the
// messages several suites expect and a check that a process has ended.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

namespace qvtest {

inline const std::string kQvpack = QV_QVPACK_BINARY;
inline const std::string kLauncher = QV_LAUNCHER_BINARY;
// The first line the verify class prints; fake JVMs print it to pass verification.
inline const char kMagicLine[] = "1739021872";
// What a packed launcher that lost its payload (to strip, say) prints on standard error.
inline const char kPayloadLost[] =
    "This launcher has lost the files packed into it (was it stripped? keep packed launchers out "
    "of strip, dh_strip, install -s)\n";
// The last line of the message of a run that found no JVM, when a hint reads JAVA_HOME.
inline const std::string kFixWithJavaHome =
    "Fix: set JAVA_HOME to a matching JDK, or run with -qv:javahome DIR naming one. For details, "
    "run again with QV_LOG=- in the environment.\n";

// True when no process has pid, or only its unreaped remains (an orphan waits there for an
// init that may be slow to collect it).
inline bool hasEnded(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    size_t nameEnd = stat.rfind(')');
    return stat.empty() ||
           (nameEnd != std::string::npos && nameEnd + 2 < stat.size() && stat[nameEnd + 2] == 'Z');
}

// False under AddressSanitizer (its shadow memory) and under valgrind (the memory checking run
// of CI, which runs the launchers too): there a launcher's peak memory says nothing about the
// launcher, and memory limits would stop it for the tool's sake.
inline bool memoryIsMeasurable() {
#if defined(__SANITIZE_ADDRESS__)
    return false;
#else
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    const char* preload = std::getenv("LD_PRELOAD");
    return preload == nullptr || std::strstr(preload, "vgpreload") == nullptr;
#endif
}

class PackedLauncherTest : public ::testing::Test {
protected:
    explicit PackedLauncherTest(const std::string& prefix) : m_temp(prefix) {}

    void SetUp() override {
        m_tmp = makeDirectory("tmp");
        m_log = path("run.log");
        // Unique per test, so the disk walks of tests running side by side find only their
        // own fake JVMs.
        m_exe = "bin/java-" + m_dir.substr(m_dir.rfind('-') + 1);
        // The per-user caches (verify answers, application files, class-data archives) are the
        // test's own.
        m_environment = {{"TMPDIR", m_tmp}, {"LANG", "C"}, {"XDG_CACHE_HOME", path("cache")}};
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    std::string makeDirectory(const std::string& name) const {
        std::string dir = path(name);
        mkdir(dir.c_str(), 0755);
        return dir;
    }

    // What runs program with args in the test directory, without a shell, with m_environment;
    // output goes through files.
    Command command(const std::string& program, const std::vector<std::string>& args) const {
        Command command;
        command.program = program;
        command.args = args;
        command.environment = m_environment;
        command.directory = m_dir;
        command.captureDirectory = m_dir;
        return command;
    }

    // Packs a launcher from (option, file) pairs; fails the test when qvpack does. The fake
    // JVMs answer the verify protocol themselves, so the launcher carries a verify archive only
    // when the test gives one with --verify.
    std::string pack(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& files) const {
        std::vector<std::string> args = {"-o", path(name), "--stub", kLauncher};
        bool verify = false;
        for (const auto& file : files) {
            args.push_back(file.first);
            args.push_back(file.second);
            verify = verify || file.first == "--verify";
        }
        if (!verify) {
            args.push_back("--no-verify");
        }
        RunResult packed = runProgram(command(kQvpack, args));
        EXPECT_EQ(packed.status, 0) << packed.err;
        return path(name);
    }

    std::string writeInstructions(const std::string& name,
                                  const std::vector<std::string>& script) const {
        std::string text = "INSTRUCTIONS:\n";
        for (const std::string& line : script) {
            text += line + "\n";
        }
        writeFile(path(name), text + "/:\n");
        return path(name);
    }

    // The names left in the private temporary directory.
    std::vector<std::string> leftInTemp() const { return listDirectory(m_tmp); }

    TemporaryDirectory m_temp;
    std::string m_dir = m_temp.path();
    std::string m_tmp;
    std::string m_log;
    std::string m_exe;
    // The variables every program run by the test gets; a fixture adds its own in SetUp.
    std::map<std::string, std::string> m_environment;
};

}  // namespace qvtest

#endif  // QV_TESTS_E2E_PACKEDLAUNCHERTEST_H

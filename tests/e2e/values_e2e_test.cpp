// Black-box tests of how launchers treat values from the file system and the environment: JVM
// homes, temporary directories, the launcher's directory and environment variables whose
// names hold macro delimiters, quotes or shell syntax reach the application as their own
// bytes, and nothing inside them ever runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class ValuesE2ETest : public PackedLauncherTest {
protected:
    ValuesE2ETest() : PackedLauncherTest("qvtest-values") {}

    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["XDG_CACHE_HOME"] = path("cache");
    }

    // A fake JVM at home reporting javaVersion; run as "java app ARGS..." it prints each
    // argument as <arg>, then its JAVA_HOME.
    std::string makeFakeJVM(const std::string& home, const std::string& javaVersion) const {
        mkdir(home.c_str(), 0755);
        mkdir((home + "/bin").c_str(), 0755);
        writeFile(home + "/" + m_exe,
                  "#!/bin/sh\n"
                  "if [ \"$1\" = app ]; then\n"
                  "  shift\n"
                  "  for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
                  "  printf 'JAVA_HOME=<%s>\\n' \"$JAVA_HOME\"\n"
                  "  exit 0\n"
                  "fi\n"
                  "echo " +
                      std::string(kMagicLine) + "\necho '" + javaVersion + "'\n",
                  0755);
        return home;
    }

    // A launcher in directory that finds a JVM through its hints and runs it with the launcher's
    // directory, the temporary directory and QV_VALUE, quoted and unquoted.
    std::string packLauncher(const std::string& directory,
                             const std::vector<std::string>& hints) const {
        std::string jvm = "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                          "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT:\n";
        for (const std::string& hint : hints) {
            jvm += hint + "\n";
        }
        writeFile(path("fake.jvm"), jvm + "/:\n");
        writeFile(path("launch.tag"),
                  "DESC: Fake app\nDISPLAY_CONSOLE: 1\n"
                  "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app %LAUNCHER_DIR%() %TEMP_DIR%() "
                  "\"\"#QV_VALUE#\"\" '#QV_VALUE#'\"\n");
        mkdir(directory.c_str(), 0755);
        std::vector<std::string> args = {
            "-o",
            directory + "/app",
            "--stub",
            kLauncher,
            "--jvm",
            path("fake.jvm"),
            "--launch-script",
            path("launch.tag"),
            "--instructions",
            writeInstructions("run.tag",
                              {"FIND_JVM 0 0", "JMP0 @N1@ fail", "LAUNCH @S2@ 0", ":fail"})};
        RunResult packed = runProgram(command(kQvpack, args));
        EXPECT_EQ(packed.status, 0) << packed.err;
        return directory + "/app";
    }
};

// Each name stands for a directory holding the launcher, the JVM's home, the temporary
// directory and the value of an environment variable the command template reads.
TEST_F(ValuesE2ETest, NamesWithSyntaxAreDataEverywhere) {
    const std::vector<std::string> names = {
        "at@17",        "pct 100%",          "fn%CP%()x",
        "hash#HOME#x",  "dollar$(touch M)",  "tick`touch M`",
        "quote\"q",     "back\\slash",       "it's",
        "semi;touch M", "caf\xc3\xa9 blank",
    };
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const std::string base = makeDirectory("case" + std::to_string(i));
        const std::string tmp = base + "/tmp " + name;
        mkdir(tmp.c_str(), 0700);
        // A JVM of the wrong version is tried first, through a hint with the same name.
        const std::string old = makeFakeJVM(base + "/old " + name, "1.4.2");
        const std::string good = makeFakeJVM(base + "/jdk " + name, "1.8.0_42");
        const std::string launcherDir = base + "/dir " + name;
        const std::string launcher = packLauncher(launcherDir, {old, "#JAVA_HOME#"});

        Command run = command(launcher, {"-qv:tempdir", tmp, "arg " + name});
        run.environment["TMPDIR"] = tmp;
        run.environment["JAVA_HOME"] = good;
        run.environment["QV_VALUE"] = name;
        RunResult result = runProgram(run);
        EXPECT_EQ(result.status, 0) << name << "\n" << result.out << result.err;
        EXPECT_TRUE(contains(result.out, "<" + launcherDir + ">\n<" + tmp + ">\n<" + name + ">\n<" +
                                             name + ">\n<arg " + name + ">\nJAVA_HOME=<" + good +
                                             ">\n"))
            << name << "\n"
            << result.out;
        EXPECT_FALSE(exists(launcherDir + "/M") || exists(m_dir + "/M") || exists(base + "/M"))
            << "a command inside " << name << " ran";
        EXPECT_EQ(listDirectory(tmp), std::vector<std::string>{}) << name;
    }
}

}  // namespace

namespace {

// A class path file beside the launcher with 1,200 references to an environment variable:
// finite work that expands in full, and that the verify command does not carry.
TEST_F(ValuesE2ETest, LongRuntimeClasspathExpandsAndStaysOutOfVerification) {
    const std::string home = makeFakeJVM(path("jdk"), "1.8.0_42");
    writeFile(path("fake.jvm"), "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                                    "\nJVM_PROPERTIES: java.version=1.8...\nCLASSPATH: \"-cp \"\n"
                                    "CLASSPATH_SEPARATOR: :\nPATH_HINT: " +
                                    home + "\n");
    writeFile(path("launch.tag"),
              "DESC: Fake app\nDISPLAY_CONSOLE: 1\n"
              "COMMAND: exec \"@JVM_HOME@/@JVM_EXE@\" app %CP%()\n");
    const std::string launcher =
        pack("app.bin",
             {{"--jvm", path("fake.jvm")},
              {"--launch-script", path("launch.tag")},
              {"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})}});
    std::string lines;
    std::string expected = "<-cp>\n<";
    for (int i = 0; i < 1200; ++i) {
        lines += "#APPDIR#/lib/library-" + std::to_string(i) + ".jar\n";
        expected += (i == 0 ? "" : ":") + m_dir + "/lib/library-" + std::to_string(i) + ".jar";
    }
    writeFile(path("app.cp"), lines);

    Command run = command(launcher, {"-qv:log", m_log});
    run.environment["APPDIR"] = m_dir;
    RunResult result = runProgram(run);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_TRUE(contains(result.out, expected + ">\n")) << result.out.substr(0, 300);
    const std::string log = readFile(m_log);
    const size_t verify = log.find("Verifying JVM at");
    const size_t launch = log.find("Executing launch script command: exec");
    ASSERT_NE(verify, std::string::npos) << log;
    EXPECT_EQ(log.find("library-0", verify), log.find("library-0", launch)) << log.substr(0, 2000);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

}  // namespace

// Black-box tests of which file a launcher reads: the file the kernel executed, whatever name
// it was started under (a symbolic link, a bare name that PATH resolves elsewhere) and
// whatever is renamed over its path while it runs. Launchers are packed with qvpack; the fake
// JVM is a shell script that prints its arguments and the classpath files' contents.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) == nullptr ? path : std::string(resolved);
}

class LauncherFileE2ETest : public PackedLauncherTest {
protected:
    LauncherFileE2ETest() : PackedLauncherTest("qvtest-launcherfile") {}

    // The fake JVM prints its working directory and arguments, then "[content]" for every file
    // named in a ":"-separated argument. With QV_REPLACEMENT set, its first run renames that
    // file over QV_LAUNCHER.
    void SetUp() override {
        PackedLauncherTest::SetUp();
        m_environment["XDG_CACHE_HOME"] = path("cache");
        m_environment["QV_VERIFY_CACHE"] = "0";
        std::string home = makeDirectory("jvm");
        makeDirectory("jvm/bin");
        writeFile(home + "/" + m_exe,
                  "#!/bin/sh\n"
                  "if [ \"$1\" = app ]; then\n"
                  "  shift\n"
                  "  printf '<cwd=%s>\\n' \"$(pwd)\"\n"
                  "  for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
                  "  for a in \"$@\"; do\n"
                  "    for p in $(printf '%s' \"$a\" | tr ':' ' '); do\n"
                  "      if [ -f \"$p\" ]; then printf '[%s]\\n' \"$(cat \"$p\")\"; fi\n"
                  "    done\n"
                  "  done\n"
                  "  if [ -n \"$QV_REPLACEMENT\" ] && [ -e \"$QV_REPLACEMENT\" ]; then\n"
                  "    mv \"$QV_REPLACEMENT\" \"$QV_LAUNCHER\"\n"
                  "  fi\n"
                  "  exit 0\n"
                  "fi\n"
                  "echo " +
                      std::string(kMagicLine) + "\necho 1.8.0_42\n",
                  0755);
        writeFile(path("fake.jvm"), "DESC: Fake JVM\nJVM_EXE: " + m_exe +
                                        "\nJVM_PROPERTIES: java.version=1.8...\n"
                                        "CLASSPATH_SEPARATOR: :\nPATH_HINT:\n" +
                                        home + "\n/:\n");
        writeFile(path("launch.tag"),
                  "DESC: Fake app\n"
                  "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" app %RUNTIME_JAVAARGS%() "
                  "%LAUNCHER_DIR%() %CP%()\"\n"
                  "DISPLAY_CONSOLE: 1\n");
    }

    // Packs <dir>/tool: it finds the fake JVM and launches it `launches` times; its classpath
    // archive holds payload. Launchers packed with payloads of one length differ only there.
    std::string packTool(const std::string& dir, const std::string& payload, int launches = 1) {
        makeDirectory(dir);
        std::vector<std::string> script = {"FIND_JVM 0 0"};
        for (int i = 0; i < launches; ++i) {
            script.push_back("LAUNCH @S2@ 0");
        }
        writeFile(path(dir + "/lib.jar"), payload);
        return pack(dir + "/tool", {{"--instructions", writeInstructions("run.tag", script)},
                                    {"--jvm", path("fake.jvm")},
                                    {"--launch-script", path("launch.tag")},
                                    {"--classpath", path(dir + "/lib.jar")}});
    }
};

TEST_F(LauncherFileE2ETest, ThroughASymbolicLinkTheRuntimeFilesBesideTheRealFileCount) {
    const std::string tool = packTool("real", "payload-A");
    const std::string realDir = realPath(path("real"));
    writeFile(path("real/tool.ja"), "-Dx=y\n");
    writeFile(path("real/tool.cp"), realDir + "/extra.txt\n");
    writeFile(path("real/extra.txt"), "beside the real file");
    makeDirectory("links");
    ASSERT_EQ(symlink(tool.c_str(), path("links/tool").c_str()), 0);

    RunResult result = runProgram(command(path("links/tool"), {}));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    // The title, the working directory, the .ja arguments, the launcher directory, then the
    // classpath: the .cp entry first.
    const std::string expected =
        "Fake app\n<cwd=" + realDir + ">\n<-Dx=y>\n<" + realDir + ">\n<" + realDir + "/extra.txt:";
    EXPECT_EQ(result.out.substr(0, expected.size()), expected) << result.out;
    EXPECT_TRUE(contains(result.out, "[beside the real file]\n[payload-A]\n")) << result.out;
}

// A bare argv[0] names no file; a same-named launcher earlier on PATH, or in the working
// directory through an empty PATH entry, must not lend its payload.
TEST_F(LauncherFileE2ETest, BareNameRunsTheExecutedFilesPayload) {
    const std::string tool = packTool("mine", "payload-A");
    packTool("first", "payload-B");
    packTool(".", "payload-C");
    const std::string paths[] = {path("first") + ":" + path("mine"), ":" + path("mine")};
    for (const std::string& searchPath : paths) {
        Command start = command(tool, {});
        start.argv0 = "tool";
        start.environment["PATH"] = searchPath + ":/usr/bin:/bin";
        RunResult result = runProgram(start);
        EXPECT_EQ(result.status, 0) << searchPath << result.out << result.err;
        EXPECT_TRUE(contains(result.out, "[payload-A]\n")) << searchPath << result.out;
        EXPECT_TRUE(contains(result.out, "<" + realPath(path("mine")) + ">\n"))
            << searchPath << result.out;
    }
}

// The first run of the application renames another launcher over the running one; the second
// launch extracts the classpath archive again, and must get the bytes of the file it started
// from, not those at the same offsets in the new file.
TEST_F(LauncherFileE2ETest, ReplacedDuringTheRunTheOriginalBytesAreRead) {
    const std::string tool = packTool("app", "payload-A", 2);
    const std::string replacement = packTool("next", "payload-B", 2);
    const std::string replacementBytes = readFile(replacement);
    m_environment["QV_LAUNCHER"] = tool;
    m_environment["QV_REPLACEMENT"] = replacement;

    RunResult result = runProgram(command(tool, {}));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(readFile(tool), replacementBytes) << "the replacement did not happen";
    const std::vector<std::string> output = lines(result.out);
    std::vector<std::string> payloads;
    for (const std::string& line : output) {
        if (!line.empty() && line[0] == '[') {
            payloads.push_back(line);
        }
    }
    EXPECT_EQ(payloads, (std::vector<std::string>{"[payload-A]", "[payload-A]"})) << result.out;
}

}  // namespace

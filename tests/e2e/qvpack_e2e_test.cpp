// Black-box tests of the built qvpack and qvlauncher: each test packs, lists and extracts in a
// fresh temporary directory and looks only at exit statuses, output and files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "input/LauncherLayout.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

const std::string kQvpack = QV_QVPACK_BINARY;
const std::string kLauncher = QV_LAUNCHER_BINARY;

bool isExecutable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

class QvpackE2ETest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // Runs program with args in directory cwd, without a shell; output goes through files.
    RunResult run(const std::string& program, const std::vector<std::string>& args,
                  const std::string& cwd) const {
        Command command;
        command.program = program;
        command.args = args;
        command.directory = cwd;
        command.captureDirectory = m_dir;
        return runProgram(command);
    }

    RunResult qvpack(const std::vector<std::string>& args) const {
        return run(kQvpack, args, m_dir);
    }

    std::string makeDirectory(const std::string& name) const {
        std::string dir = path(name);
        mkdir(dir.c_str(), 0755);
        return dir;
    }

    TemporaryDirectory m_temp{"qvtest-e2e"};
    std::string m_dir = m_temp.path();
};

struct PackedFile {
    const char* option;
    const char* typeName;
    const char* name;
    std::string content;
};

std::string binaryContent(size_t length, unsigned seed) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

TEST_F(QvpackE2ETest, PackListAndExtractRoundTrip) {
    const std::vector<PackedFile> files = {
        {"--instructions", "instructions", "start.tag", "FIND_JVM:\n  1\n/:\n"},
        {"--jvm", "jvm", "b.jvm", "JVM_EXE: bin/java\n"},
        {"--launch-script", "launch-script", "launch.tag", "DESC: \"Demo \"\"app\"\"\"\n"},
        {"--jvm", "jvm", "a.jvm", "JVM_EXE: jre/bin/java\n"},
        {"--classpath", "classpath", "lib.jar", binaryContent(61440, 1)},
        {"--installer", "installer", "install.bin", binaryContent(61439, 2)},
        {"--verify", "verify", "verify.jar", binaryContent(10, 3)},
        {"--app", "app", "app.jar", binaryContent(200000, 4)},
        {"--launcher", "launcher", "inner", binaryContent(0, 5)},
    };
    makeDirectory("src");
    std::vector<std::string> args = {"-o", path("app")};
    for (size_t i = 0; i < files.size(); ++i) {
        writeFile(path(std::string("src/") + files[i].name), files[i].content);
        if (i == 3) {
            args.insert(args.end(), {"--id", "2"});
        }
        args.insert(args.end(), {files[i].option, path(std::string("src/") + files[i].name)});
    }
    RunResult packed = qvpack(args);
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.out + packed.err, "");
    EXPECT_TRUE(isExecutable(path("app")));

    // The default stub is the qvlauncher beside qvpack, its payload marker turned to packed.
    std::string stub = readFile(kLauncher);
    const size_t marker = stub.find(kStubMarkerBare);
    ASSERT_NE(marker, std::string::npos);
    stub.replace(marker, std::strlen(kStubMarkerPacked), kStubMarkerPacked);
    const std::string launcher = readFile(path("app"));
    ASSERT_EQ(launcher.substr(0, stub.size()), stub);

    RunResult listed = qvpack({"list", path("app")});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::string expected = "POS  TYPE                   ID     LENGTH     OFFSET  NAME\n";
    const long ids[] = {1, 3, 4, 2, 5, 6, 7, 8, 9};
    size_t offset = stub.size();
    for (size_t i = 0; i < files.size(); ++i) {
        char row[200];
        std::snprintf(row, sizeof row, "%-4zu %-14s %10ld %10zu %10zu  %s\n", i, files[i].typeName,
                      ids[i], files[i].content.size(), offset, files[i].name);
        expected += row;
        offset += files[i].content.size();
    }
    EXPECT_EQ(listed.out, expected);

    std::string target = makeDirectory("extracted");
    RunResult extracted = run(path("app"), {"-qv:extract"}, target);
    ASSERT_EQ(extracted.status, 0) << extracted.out << extracted.err;
    std::vector<std::string> names = {"input.tag"};
    for (const PackedFile& file : files) {
        names.push_back(file.name);
        EXPECT_TRUE(readFile(target + "/" + file.name) == file.content) << file.name;
        bool program =
            std::string(file.option) == "--installer" || std::string(file.option) == "--launcher";
        EXPECT_EQ(isExecutable(target + "/" + file.name), program) << file.name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listDirectory(target), names);
    EXPECT_EQ(readFile(target + "/input.tag"),
              "ACTION:  RUN_INSTRUCTIONS\n"
              "INSTRUCTIONS:  start.tag\n"
              "JVM:\n  b.jvm\n  a.jvm\n/:\n"
              "LAUNCHSCRIPT:  launch.tag\n");
}

TEST_F(QvpackE2ETest, ZeroFilesMakeALauncherWithAnEmptyIndex) {
    RunResult packed = qvpack({"-o", path("empty"), "--no-verify"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    RunResult listed = qvpack({"list", path("empty")});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              "POS  TYPE                   ID     LENGTH     OFFSET  NAME\n"
              "(no embedded files)\n");
    std::string target = makeDirectory("extracted");
    RunResult extracted = run(path("empty"), {"-qv:extract"}, target);
    EXPECT_EQ(extracted.status, 0) << extracted.out;
    EXPECT_EQ(listDirectory(target), std::vector<std::string>{"input.tag"});
    EXPECT_EQ(readFile(target + "/input.tag"), "ACTION:  RUN_INSTRUCTIONS\n");
}

// -qv:extract writes into the working directory, which others may share: a link planted at the
// name of input.tag or of an embedded file is refused, not followed, and named as the cause.
// input.tag is opened first, so a link there stops the run before anything is written.
TEST_F(QvpackE2ETest, ExtractRefusesLinksAtItsTargets) {
    writeFile(path("start.tag"), "INSTRUCTIONS:\n/:\n");
    writeFile(path("app.jar"), "PK");
    writeFile(path("victim"), "precious");
    ASSERT_EQ(
        qvpack({"-o", path("app"), "--instructions", path("start.tag"), "--app", path("app.jar")})
            .status,
        0);
    const std::string failed =
        "Unable to extract embedded files from the launcher. Unable to write ";
    struct Case {
        const char* linked;
        std::string out;  // a progress mark for each file extracted before, and their line end
        std::string err;
        std::vector<std::string> left;
    } cases[] = {
        {"input.tag", "", failed + "tag file input.tag: it is a symbolic link\n", {"input.tag"}},
        {"app.jar",
         ".\n",
         failed + "app.jar: it is a symbolic link\n",
         {"app.jar", "input.tag", "start.tag"}}};
    for (const Case& c : cases) {
        std::string target = makeDirectory(std::string("into-") + c.linked);
        ASSERT_EQ(symlink(path("victim").c_str(), (target + "/" + c.linked).c_str()), 0);
        RunResult extracted = run(path("app"), {"-qv:extract"}, target);
        EXPECT_EQ(extracted.status, 1) << c.linked;
        EXPECT_EQ(extracted.out, c.out);
        EXPECT_EQ(extracted.err, c.err);
        EXPECT_EQ(readFile(path("victim")), "precious") << c.linked;
        EXPECT_EQ(listDirectory(target), c.left) << c.linked;
    }
}

TEST_F(QvpackE2ETest, UsageErrorsAndBadFilesFailWithoutOutput) {
    writeFile(path("bad.jvm"), "JVM_EXE: x\nno colon\n");
    writeFile(path("ok.jar"), "PK");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"--bogus"}, 2, "qvpack: unknown option --bogus\nTry 'qvpack --help' for the options.\n"},
        {{}, 2, "qvpack: no command given\nTry 'qvpack --help' for the options.\n"},
        {{"--app", path("ok.jar")},
         2,
         "qvpack: no output file given (-o OUT)\nTry 'qvpack --help' for the options.\n"},
        {{"-o", path("out"), "--app", path("missing.jar")},
         1,
         "qvpack: Cannot read " + path("missing.jar") + ": No such file or directory\n"},
        {{"-o", path("out"), "--app", path("ok.jar"), "--jvm", path("bad.jvm")},
         1,
         "qvpack: Invalid tag file " + path("bad.jvm") + ": Syntax error in " + path("bad.jvm") +
             " at line 2 ==> Missing colon at the end of the tag name.\n"},
        {{"-o", path("out"), "--stub", path("nostub")},
         1,
         "qvpack: Cannot read " + path("nostub") + ": No such file or directory\n"},
        {{"list", path("missing")}, 1, "qvpack: Cannot open launcher file.\n"},
    };
    const std::vector<std::string> before = listDirectory(m_dir);
    for (const Case& c : cases) {
        RunResult result = qvpack(c.args);
        EXPECT_EQ(result.status, c.status) << c.err;
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(listDirectory(m_dir), before) << c.err;
    }
    RunResult help = qvpack({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--launch-script F"), std::string::npos);
}

// Replaces count bytes at position of the launcher at path, which stays executable.
void patchFile(const std::string& path, size_t position, const std::string& bytes) {
    std::string content = readFile(path);
    content.replace(position, bytes.size(), bytes);
    writeFile(path, content, 0755);
}

TEST_F(QvpackE2ETest, LauncherReportsBrokenEmbeddedFilesAndIndexes) {
    writeFile(path("j.jvm"), "JVM_EXE: bin/java\nB: 2\n");
    writeFile(path("app.jar"), "PK");
    ASSERT_EQ(
        qvpack({"-o", path("app"), "--jvm", path("j.jvm"), "--app", path("app.jar"), "--no-verify"})
            .status,
        0);
    const std::string launcher = readFile(path("app"));
    const size_t jvmOffset = readFile(kLauncher).size();
    const size_t trailer = launcher.size() - 8;
    const size_t firstType = launcher.size() - 8 - (4 + 15 + 5 + 15 + 7) + 4;
    struct Case {
        const char* what;
        size_t position;
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {"colon removed from line 2 of the jvm file", jvmOffset + 19, "-",
         "Syntax error in j.jvm at line 2 ==> Missing colon at the end of the tag name."},
        {"negative index offset", trailer, "\xFF\xFF\xFF\xF0", "Invalid file index offset."},
        {"index offset past the end", trailer, "\x10\x00\x00\x00",
         "Unable to read the file count."},
        {"type 8", firstType, "\x08", "Invalid file type in file index."},
    };
    for (const Case& c : cases) {
        writeFile(path("app"), launcher, 0755);
        patchFile(path("app"), c.position, c.bytes);
        std::remove(path("log").c_str());
        RunResult result = run(path("app"), {"-qv:log", path("log")}, m_dir);
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_NE(result.err.find("Unable to load the launcher file index. " + c.message),
                  std::string::npos)
            << c.what << ": " << result.err;
        EXPECT_NE(readFile(path("log"))
                      .find("ERROR: Unable to load the launcher file index. " + c.message + "\n"),
                  std::string::npos)
            << c.what;
    }
}

}  // namespace

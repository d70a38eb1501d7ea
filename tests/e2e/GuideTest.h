#ifndef QV_TESTS_E2E_GUIDETEST_H
#define QV_TESTS_E2E_GUIDETEST_H

// End-to-end tests of the user guide, docs/guide.md. Every example file under docs/examples is
// quoted in the guide word for word, and every example is packed with the built qvpack and run
// with the built launcher here: the outputs the guide shows are the files beside the examples,
// compared with what the programs really print. Tables of examples (.tsv files) are checked
// row by row, against the launcher and against the guide's own tables.
//
// The examples use the paths a reader would see (/usr/lib/jvm/java-17-openjdk-amd64,
// /opt/myapp, /var/tmp/...). Each test builds those places below a "world" directory of its
// own, points the examples at them, and removes the world prefix from what it reads back.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "tests/support/TestSupport.h"

namespace qvtest {

const std::string kQvpack = QV_QVPACK_BINARY;
const std::string kLauncher = QV_LAUNCHER_BINARY;
const std::string kSourceDir = QV_SOURCE_DIR;
const std::string kBuildDir = QV_BUILD_DIR;
const std::string kExamples = kSourceDir + "/docs/examples";
const std::string kGuidePath = kSourceDir + "/docs/guide.md";

// The places the guide's examples name.
const std::string kDocJdk = "/usr/lib/jvm/java-17-openjdk-amd64";
const std::string kDocApp = "/opt/myapp";
const std::string kDocLog = "/tmp/myapp-search.log";
// The names the guide shows for temporary files and directories, in the order they appear.
const std::vector<std::string> kDocJvmFileNames = {"qvjR2d9xQ"};
const std::vector<std::string> kDocArchiveNames = {"qvj3kTq8Z", "qvjW1x7Lm"};

// Environment variables that would change what the examples find; a test sets them itself.
const char* const kControlledVariables[] = {"JAVA_HOME",      "MYAPP_JAVA_HOME", "TMPDIR",
                                            "LANG",           "LC_ALL",          "LC_MESSAGES",
                                            "XDG_CACHE_HOME", "QV_VERIFY_CACHE", "HOME"};

inline void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

inline std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t found = text.find(separator); found != std::string::npos;
         found = text.find(separator, start)) {
        parts.push_back(text.substr(start, found - start));
        start = found + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The rows of a tab-separated example table, each with exactly columns fields.
inline std::vector<std::vector<std::string>> readTable(const std::string& path, size_t columns) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : lines(readFile(path))) {
        std::vector<std::string> row = split(line, '\t');
        EXPECT_EQ(row.size(), columns) << path << ": " << line;
        if (row.size() == columns) {
            rows.push_back(row);
        }
    }
    EXPECT_FALSE(rows.empty()) << path;
    return rows;
}

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return text;
    }
    for (size_t found = text.find(from); found != std::string::npos;
         found = text.find(from, found + to.size())) {
        text.replace(found, from.size(), to);
    }
    return text;
}

inline bool hasLine(const std::string& text, const std::string& line) {
    std::vector<std::string> all = lines(text);
    return std::find(all.begin(), all.end(), line) != all.end();
}

// The version the JVM reports and the row of progress dots differ between machines and runs
// (the dots count work done); the guide shows one run.
inline std::string withoutMachineDetails(const std::string& text) {
    static const std::regex version("java\\.version: [^\n]*");
    static const std::regex dots("(^|\n)\\.+");
    std::string result = std::regex_replace(text, version, "java.version: <version>");
    return std::regex_replace(result, dots, "$1<dots>");
}

inline void listFiles(const std::string& directory, const std::string& prefix,
                      std::vector<std::string>& files) {
    for (const std::string& name : listDirectory(directory)) {
        std::string path = directory + "/" + name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            listFiles(path, prefix + name + "/", files);
        } else {
            files.push_back(prefix + name);
        }
    }
    std::sort(files.begin(), files.end());
}

inline std::string example(const std::string& relative) {
    return readFile(kExamples + "/" + relative);
}

// The guide's text, and the fenced blocks that follow a "**File `docs/examples/...`**" line.
struct Guide {
    std::string text;
    std::vector<std::pair<std::string, std::string>> quotedFiles;  // path below examples, block

    Guide() : text(readFile(kGuidePath)) {
        static const std::regex caption("^\\*\\*File `docs/examples/([^`]+)`\\*\\*$");
        std::vector<std::string> all = lines(text);
        for (size_t i = 0; i < all.size(); ++i) {
            std::smatch match;
            if (!std::regex_match(all[i], match, caption)) {
                continue;
            }
            std::string block;
            size_t j = i + 1;
            if (j < all.size() && all[j].rfind("```", 0) == 0) {
                for (++j; j < all.size() && all[j] != "```"; ++j) {
                    block += all[j] + "\n";
                }
            }
            quotedFiles.emplace_back(match[1].str(), block);
        }
    }
};

#ifdef QV_JDK_HOME
const std::string kJdkHome = QV_JDK_HOME;
#endif

class GuideE2ETest : public ::testing::Test {
protected:
    void SetUp() override {
        m_world = m_dir + "/world";
        m_tmp = m_world + "/var/tmp";
        m_work = m_dir + "/work";
        makeDirectories(m_tmp);
        makeDirectories(m_world + kDocApp);
        makeDirectories(m_work);
        makeDirectories(m_dir + "/cache");
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    // Where a path the guide names lies in this test's world.
    std::string inWorld(const std::string& docPath) const { return m_world + docPath; }

    // Runs program with args in directory cwd (the work directory by default), without a
    // shell, with the test's temporary directory, cache directory and English messages.
    RunResult run(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& environment = {},
                  const std::string& cwd = "") const {
        Command command;
        command.program = program;
        command.args = args;
        command.environment = {{"TMPDIR", m_tmp},
                               {"LANG", "C"},
                               {"XDG_CACHE_HOME", m_dir + "/cache"},
                               {"HOME", m_dir}};
        for (const auto& setting : environment) {
            command.environment[setting.first] = setting.second;
        }
        command.removedVariables.assign(std::begin(kControlledVariables),
                                        std::end(kControlledVariables));
        command.directory = cwd.empty() ? m_work : cwd;
        command.captureDirectory = m_dir;
        command.inputFromDevNull = true;
        return runProgram(command);
    }

    RunResult shell(const std::string& command,
                    const std::map<std::string, std::string>& environment = {},
                    const std::string& cwd = "") const {
        return run("/bin/sh", {"-c", command}, environment, cwd);
    }

    // Packs a launcher from (option, file) pairs; fails the test when qvpack does.
    std::string pack(const std::string& launcher,
                     const std::vector<std::pair<std::string, std::string>>& files) const {
        std::vector<std::string> args = {"-o", launcher, "--stub", kLauncher};
        for (const auto& file : files) {
            args.push_back(file.first);
            args.push_back(file.second);
        }
        RunResult packed = run(kQvpack, args);
        EXPECT_EQ(packed.status, 0) << packed.err;
        return launcher;
    }

    // A copy of an example in the work directory, with the guide's paths moved into the world.
    std::string copyExample(const std::string& relative, const std::string& directory = "") const {
        std::string text = example(relative);
        for (const std::string& docPath : {kDocJdk, kDocApp, kDocLog}) {
            text = replaceAll(text, docPath, inWorld(docPath));
        }
        std::string target = (directory.empty() ? m_work : directory) + "/" +
                             relative.substr(relative.rfind('/') + 1);
        writeFile(target, text);
        return target;
    }

    // What a program printed, as the guide shows it: temporary names in the order they first
    // appear become the guide's names, and the world prefix goes.
    std::string asDocumented(const std::string& text, const std::vector<std::string>& names) const {
        std::string result = text;
        std::regex temporary(m_tmp + "/(qvj[A-Za-z0-9]{6})");
        std::vector<std::string> seen;
        for (std::sregex_iterator it(text.begin(), text.end(), temporary), end; it != end; ++it) {
            std::string name = (*it)[1].str();
            if (std::find(seen.begin(), seen.end(), name) == seen.end()) {
                seen.push_back(name);
            }
        }
        for (size_t i = 0; i < seen.size() && i < names.size(); ++i) {
            result = replaceAll(result, m_tmp + "/" + seen[i], m_tmp + "/" + names[i]);
        }
        return replaceAll(result, m_world, "");
    }

    // A fake JVM home whose java, when it runs the verify class (an argument "Verify"), prints
    // the magic line and the value of each property named after it, and otherwise prints each
    // argument as <argument>.
    void makeFakeJVM(const std::string& home,
                     const std::map<std::string, std::string>& properties) const {
        makeDirectories(home + "/bin");
        std::string cases;
        for (const auto& property : properties) {
            cases += "        " + property.first + ") echo '" + property.second + "' ;;\n";
        }
        writeFile(home + "/bin/java",
                  "#!/bin/sh\n"
                  "verify=0\n"
                  "for a in \"$@\"; do [ \"$a\" = Verify ] && verify=1; done\n"
                  "if [ $verify = 0 ]; then\n"
                  "  for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
                  "  exit 0\n"
                  "fi\n"
                  "echo 1739021872\n"
                  "seen=0\n"
                  "for a in \"$@\"; do\n"
                  "  if [ $seen = 1 ]; then\n"
                  "    case \"$a\" in\n" +
                      cases +
                      "        *) echo ;;\n"
                      "    esac\n"
                      "  fi\n"
                      "  [ \"$a\" = Verify ] && seen=1\n"
                      "done\n",
                  0755);
    }

    // The JDK the guide's examples find, as a fake in the world.
    std::string makeDocJdk() const {
        std::string home = inWorld(kDocJdk);
        makeFakeJVM(home, {{"java.vm.specification.name", "Java Virtual Machine Specification"},
                           {"java.specification.version", "17"},
                           {"java.version", "17.0.15"}});
        return home;
    }

    // A launcher for the input-file examples: the quick start's scripts and stand-ins for the
    // verify archive and the application.
    std::string makeHelloLauncher() const {
        writeFile(path("verify.jar"), "PK");
        writeFile(path("hello.jar"), "PK");
        return pack(path("hello.bin"),
                    {{"--instructions", kExamples + "/quickstart/hello.instructions"},
                     {"--jvm", kExamples + "/quickstart/hello.jvm"},
                     {"--launch-script", kExamples + "/quickstart/hello.launch"},
                     {"--verify", path("verify.jar")},
                     {"--app", path("hello.jar")}});
    }

    // The launch script example and the function table run with the launcher at /opt/myapp,
    // the runtime files beside it and the jvm file the guide shows.
    void setUpMyApp() {
        makeDocJdk();
        m_app = inWorld(kDocApp);
        for (const char* suffix : {"cp1", "cp", "cp2", "sp", "ja"}) {
            copyExample(std::string("launch/myapp.") + suffix, m_app);
        }
        m_jvmFile = copyExample("launch/myapp.jvm");
        writeFile(m_work + "/ilaunch.instructions", "INSTRUCTIONS:\nILAUNCH 2 0\n/:\n");
        writeFile(m_work + "/myapp.jar", "PK");
    }

    // Packs /opt/myapp/myapp.bin with the launch script and runs it with args; returns the
    // run and the logged command record.
    RunResult launchMyApp(const std::string& launchScript, const std::vector<std::string>& args,
                          std::string& record) const {
        std::string launcher =
            pack(m_app + "/myapp.bin", {{"--instructions", m_work + "/ilaunch.instructions"},
                                        {"--jvm", m_jvmFile},
                                        {"--launch-script", launchScript},
                                        {"--app", m_work + "/myapp.jar"}});
        std::string log = path("launch.log");
        std::remove(log.c_str());
        std::vector<std::string> all = {"-qv:log", log};
        all.insert(all.end(), args.begin(), args.end());
        RunResult result = run(launcher, all, {{"HOME", "/home/me"}});
        record.clear();
        for (const std::string& line : lines(readFile(log))) {
            if (line.rfind("Executing launch script command: ", 0) == 0) {
                record = line;
            }
        }
        return result;
    }

#ifdef QV_JDK_HOME
    // Runs commands of an example's script in dir with the build's JDK as JAVA_HOME; the test
    // fails at the first that does.
    void runCommands(const std::vector<std::string>& commands, const std::string& dir,
                     const std::map<std::string, std::string>& environment = {}) const {
        std::map<std::string, std::string> withJdk = {{"JAVA_HOME", kJdkHome}};
        withJdk.insert(environment.begin(), environment.end());
        for (const std::string& command : commands) {
            RunResult result = shell(command, withJdk, dir);
            ASSERT_EQ(result.status, 0) << command << "\n" << result.out << result.err;
        }
    }

    // A directory that looks like a fresh clone whose build is done, after the quick start's
    // commands 2 to 4 (the first, the build itself, is the only one skipped).
    std::string quickStartClone() const {
        std::string clone = path("clone");
        makeDirectories(clone);
        EXPECT_EQ(symlink(kBuildDir.c_str(), (clone + "/build").c_str()), 0);
        EXPECT_EQ(symlink((kSourceDir + "/examples").c_str(), (clone + "/examples").c_str()), 0);
        EXPECT_EQ(symlink((kSourceDir + "/docs").c_str(), (clone + "/docs").c_str()), 0);
        std::vector<std::string> commands = lines(example("quickstart/quickstart.sh"));
        EXPECT_EQ(commands.size(), 5u);
        EXPECT_EQ(commands[0].rfind("cmake ", 0), 0u) << commands[0];
        runCommands({commands.begin() + 1, commands.end() - 1}, clone);
        return clone;
    }

    // The quick start's clone after the full-control commands but the last, which runs
    // hello/hello.bin.
    std::string fullControlClone() const {
        std::string clone = quickStartClone();
        std::vector<std::string> commands = lines(example("quickstart/full-control.sh"));
        runCommands({commands.begin(), commands.end() - 1}, clone);
        return clone;
    }
#endif

    std::vector<std::string> leftInTemp() const {
        std::vector<std::string> names;
        listFiles(m_tmp, "", names);
        return names;
    }

    TemporaryDirectory m_temp{"qvtest-guide"};
    std::string m_dir = m_temp.path();
    std::string m_world;
    std::string m_tmp;
    std::string m_work;
    std::string m_app;
    std::string m_jvmFile;
};

}  // namespace qvtest

#endif  // QV_TESTS_E2E_GUIDETEST_H

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

namespace {

using namespace qvtest;

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

void makeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

std::vector<std::string> split(const std::string& text, char separator) {
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
std::vector<std::vector<std::string>> readTable(const std::string& path, size_t columns) {
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

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return text;
    }
    for (size_t found = text.find(from); found != std::string::npos;
         found = text.find(from, found + to.size())) {
        text.replace(found, from.size(), to);
    }
    return text;
}

bool hasLine(const std::string& text, const std::string& line) {
    std::vector<std::string> all = lines(text);
    return std::find(all.begin(), all.end(), line) != all.end();
}

// The version the JVM reports and the row of progress dots differ between machines and runs
// (the dots count work done); the guide shows one run.
std::string withoutMachineDetails(const std::string& text) {
    static const std::regex version("java\\.version: [^\n]*");
    static const std::regex dots("(^|\n)\\.+");
    std::string result = std::regex_replace(text, version, "java.version: <version>");
    return std::regex_replace(result, dots, "$1<dots>");
}

void listFiles(const std::string& directory, const std::string& prefix,
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

std::string example(const std::string& relative) {
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
        for (size_t i = 1; i + 1 < commands.size(); ++i) {
            RunResult result = shell(commands[i], {{"JAVA_HOME", kJdkHome}}, clone);
            EXPECT_EQ(result.status, 0) << commands[i] << "\n" << result.out << result.err;
        }
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

TEST_F(GuideE2ETest, EveryExampleFileIsQuotedWordForWord) {
    Guide guide;
    ASSERT_FALSE(guide.text.empty()) << kGuidePath;
    std::set<std::string> quoted;
    for (const auto& file : guide.quotedFiles) {
        EXPECT_TRUE(exists(kExamples + "/" + file.first)) << file.first;
        EXPECT_EQ(file.second, example(file.first)) << "docs/examples/" << file.first;
        quoted.insert(file.first);
    }
    std::vector<std::string> files;
    listFiles(kExamples, "", files);
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".tsv") == 0) {
            // Tables are checked row by row by the tests that run them.
            EXPECT_TRUE(contains(guide.text, "`docs/examples/" + file + "`")) << file;
        } else {
            EXPECT_EQ(quoted.count(file), 1u) << "docs/examples/" << file << " is not quoted";
        }
    }
    // The README leads to the guide.
    EXPECT_TRUE(contains(readFile(kSourceDir + "/README.md"), "docs/guide.md"));
}

#ifdef QV_JDK_HOME

TEST_F(GuideE2ETest, QuickStartBuildsALauncherThatRunsHello) {
    std::string clone = quickStartClone();
    std::vector<std::string> commands = lines(example("quickstart/quickstart.sh"));
    const std::map<std::string, std::string> environment = {{"JAVA_HOME", kJdkHome}};
    RunResult hello = shell(commands.back(), environment, clone);
    EXPECT_EQ(hello.status, 0) << hello.err;
    EXPECT_EQ(withoutMachineDetails(hello.out),
              withoutMachineDetails(example("quickstart/quickstart.out")));

    // qvpack list shows what the launcher carries; offsets, and the lengths of the two jars,
    // come from the build.
    RunResult listed = shell("build/qvpack list hello/hello.bin", {}, clone);
    EXPECT_EQ(listed.status, 0) << listed.err;
    std::vector<std::string> rows = lines(listed.out);
    std::vector<std::string> documented = lines(example("quickstart/list.out"));
    ASSERT_EQ(rows.size(), documented.size()) << listed.out;
    EXPECT_EQ(rows[0], documented[0]);
    for (size_t i = 1; i < rows.size(); ++i) {
        std::istringstream actualRow(rows[i]);
        std::istringstream documentedRow(documented[i]);
        std::vector<std::string> actual{std::istream_iterator<std::string>(actualRow), {}};
        std::vector<std::string> expected{std::istream_iterator<std::string>(documentedRow), {}};
        ASSERT_EQ(actual.size(), 6u) << rows[i];
        ASSERT_EQ(expected.size(), 6u) << documented[i];
        bool tagFile =
            expected[1] == "instructions" || expected[1] == "jvm" || expected[1] == "launch-script";
        for (size_t column : {0u, 1u, 2u, 5u}) {
            EXPECT_EQ(actual[column], expected[column]) << rows[i];
        }
        if (tagFile) {
            EXPECT_EQ(actual[3], expected[3]) << rows[i];
        }
    }

    // The same launcher speaks German when LANG asks for it.
    RunResult german = run(clone + "/hello/hello.bin", {},
                           {{"JAVA_HOME", kJdkHome}, {"LANG", "de_DE.UTF-8"}}, clone);
    EXPECT_EQ(german.status, 0) << german.err;
    EXPECT_EQ(withoutMachineDetails(german.out),
              withoutMachineDetails(example("console/hello-de.out")));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(GuideE2ETest, CompleteInstructionScriptFindsOrInstallsAndLaunches) {
    std::string clone = quickStartClone();
    // The runtime the installer carries is the build's JDK, reached through links.
    std::string runtime = path("runtime");
    makeDirectories(runtime);
    ASSERT_EQ(symlink((kJdkHome + "/bin").c_str(), (runtime + "/bin").c_str()), 0);
    ASSERT_EQ(symlink((kJdkHome + "/lib").c_str(), (runtime + "/lib").c_str()), 0);
    for (const std::string& command : lines(example("instructions/fallback.sh"))) {
        RunResult result = shell(command, {{"JRE", runtime}}, clone);
        ASSERT_EQ(result.status, 0) << command << "\n" << result.out << result.err;
    }
    std::string launcher = clone + "/hello/myapp.bin";

    RunResult found = run(launcher, {"two words"}, {{"MYAPP_JAVA_HOME", kJdkHome}}, clone);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(withoutMachineDetails(found.out),
              withoutMachineDetails(example("instructions/complete-found.out")));

    RunResult installed = run(launcher, {"two words"}, {}, clone);
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(withoutMachineDetails(installed.out),
              withoutMachineDetails(example("instructions/complete-installed.out")));
    // The JVM installed into a temporary directory went with it.
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

#endif  // QV_JDK_HOME

TEST_F(GuideE2ETest, TagFileExampleIsWrittenBackAsDocumented) {
    std::string home = makeDocJdk();
    std::string launcher = makeHelloLauncher();
    copyExample("tagfiles/example.jvm");
    writeFile(m_work + "/search.tag", "ACTION: SEARCH\nJVM: example.jvm\n");
    RunResult result = run(launcher, {"-qv:in", "search.tag"}, {{"JAVA_HOME", home}});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> output = lines(result.out);
    ASSERT_EQ(output.size(), 3u) << result.out;
    EXPECT_EQ(asDocumented(readFile(output[2]), kDocJvmFileNames),
              example("tagfiles/example.written"));
}

TEST_F(GuideE2ETest, PropertyValuesMatchAsTheGuideSays) {
    Guide guide;
    std::string launcher = makeHelloLauncher();
    std::string home = path("jdk");
    for (const auto& row : readTable(kExamples + "/jvm/property-values.tsv", 3)) {
        const std::string& reported = row[0];
        const std::string& expected = row[1];
        const std::string& matches = row[2];
        ASSERT_TRUE(matches == "yes" || matches == "no") << matches;
        makeFakeJVM(home, {{"java.version", reported}});
        writeFile(
            m_work + "/t.jvm",
            "DESC: Table row\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=" + expected + "\n");
        writeFile(m_work + "/verify.tag",
                  "ACTION: VERIFY_JVM\nVERIFY_JVM_FILE: t.jvm\nVERIFY_JVM_HOME: " + home + "\n");
        RunResult result = run(launcher, {"-qv:in", "verify.tag"}, {{"QV_VERIFY_CACHE", "0"}});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, matches == "yes" ? "1\n" : "0\n")
            << reported << " against " << expected;
        std::string guideRow = "| `" + reported + "` | `" + expected + "` | " + matches + " |";
        EXPECT_TRUE(contains(guide.text, guideRow)) << "the guide lacks the row " << guideRow;
    }
}

TEST_F(GuideE2ETest, InputFileExchangesPrintWhatTheGuideShows) {
    std::string home = makeDocJdk();
    std::string launcher = makeHelloLauncher();
    copyExample("jvm/java11.jvm");
    copyExample("jvm/java21.jvm");
    const std::map<std::string, std::string> javaHome = {{"JAVA_HOME", home}};

    // SEARCH: found, and the jvm file it names outlives the run.
    copyExample("input/search.tag");
    RunResult search = run(launcher, {"-qv:in", "search.tag"}, javaHome);
    EXPECT_EQ(search.status, 0) << search.err;
    EXPECT_EQ(asDocumented(search.out, kDocJvmFileNames), example("input/search.out"));
    std::vector<std::string> reported = lines(search.out);
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_TRUE(exists(reported[2]));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{reported[2].substr(m_tmp.size() + 1)});
    std::remove(reported[2].c_str());

    // SEARCH that finds nothing: "0", and the log says where it looked.
    makeDirectories(inWorld("/tmp"));
    copyExample("input/search-none.tag");
    RunResult none = run(launcher, {"-qv:in", "search-none.tag"}, javaHome);
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(none.out, example("input/search-none.out"));
    std::string log = asDocumented(readFile(inWorld(kDocLog)), {});
    EXPECT_TRUE(contains(log, example("input/search-none.log"))) << log;

    // VERIFY_JVM.
    copyExample("input/verify.tag");
    RunResult verify = run(launcher, {"-qv:in", "verify.tag"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.out, example("input/verify.out"));

    // INSTALL_JVM with the example installer and a runtime for it to unpack.
    std::string runtime = path("runtime");
    makeFakeJVM(runtime, {{"java.specification.version", "17"}});
    std::string installer = inWorld(kDocApp + "/install-jre.bin");
    RunResult archived = shell("cd runtime && tar -czf ../runtime.tar.gz . && cd .. && cat '" +
                                   kExamples + "/installer/install-jre.sh' runtime.tar.gz > '" +
                                   installer + "' && chmod 755 '" + installer + "'",
                               {}, m_dir);
    ASSERT_EQ(archived.status, 0) << archived.err;
    makeDirectories(inWorld(kDocApp + "/jre"));
    copyExample("input/install.tag");
    RunResult install = run(launcher, {"-qv:in", "install.tag"});
    EXPECT_EQ(install.status, 0) << install.err;
    EXPECT_EQ(asDocumented(install.out, {}), example("input/install.out"));
    EXPECT_EQ(asDocumented(readFile(inWorld(kDocApp + "/jre/jvm")), {}),
              example("input/install-result.jvm"));
    EXPECT_TRUE(exists(inWorld(kDocApp + "/jre/bin/java")));

    // A program that drives the launcher: the example script prints the home it was told.
    RunResult driver = run("/bin/sh", {kExamples + "/input/find-java.sh", launcher}, javaHome);
    EXPECT_EQ(driver.status, 0) << driver.err;
    EXPECT_EQ(asDocumented(driver.out, {}), kDocJdk + "\n");
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(GuideE2ETest, DiskWalkSkipsAJavaOthersCouldHavePlanted) {
    // A name of java of this test's own, so that the walk finds nothing else.
    const std::string exe = "java-" + m_dir.substr(m_dir.rfind('-') + 1);
    std::string open = inWorld("/tmp/open");
    makeFakeJVM(open + "/jdk", {{"java.specification.version", "17"}});
    ASSERT_EQ(rename((open + "/jdk/bin/java").c_str(), (open + "/jdk/bin/" + exe).c_str()), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    std::string launcher = makeHelloLauncher();
    writeFile(m_work + "/walk.jvm", "DESC: Walk\nJVM_EXE: bin/" + exe +
                                        "\nJVM_PROPERTIES: java.specification.version=[11,)\n"
                                        "SEARCH_ALL: 1\n");
    writeFile(m_work + "/walk.tag",
              "ACTION: SEARCH\nJVM: walk.jvm\nLOGFILE: " + path("walk.log") + "\n");
    RunResult result = run(launcher, {"-qv:in", "walk.tag"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "0\n");
    std::string log = replaceAll(asDocumented(readFile(path("walk.log")), {}), exe, "java");
    EXPECT_TRUE(contains(log, example("jvm/unsafe.log"))) << log;
}

TEST_F(GuideE2ETest, LaunchScriptExampleBuildsTheDocumentedCommand) {
    setUpMyApp();
    std::string record;
    RunResult result =
        launchMyApp(kExamples + "/launch/myapp.launch", {"--verbose", "my file.txt"}, record);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(asDocumented(record, kDocArchiveNames) + "\n", example("launch/myapp.command"));
    // The fake java shows what it received, one argument per line.
    // The console shows the title, then what java printed.
    EXPECT_EQ(asDocumented(result.out, kDocArchiveNames), "My App\n" + example("launch/myapp.out"));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(GuideE2ETest, LaunchScriptFunctionsExpandAsTheGuideSays) {
    setUpMyApp();
    Guide guide;
    const std::string prefix = "Executing launch script command: echo ";
    const std::string suffix = " in working directory " + m_app;
    for (const auto& row : readTable(kExamples + "/launch/functions.tsv", 2)) {
        const std::string& text = row[0];
        const std::string& expanded = row[1];
        writeFile(m_work + "/row.launch", "DESC: My App\nCOMMAND: echo " + text +
                                              "\nARCHIVE: \"\"\"%APPLICATION_ARCHIVE%()\"\"\"\n");
        std::string record;
        RunResult result = launchMyApp(m_work + "/row.launch", {}, record);
        EXPECT_EQ(result.status, 0) << text << ": " << result.out << result.err;
        ASSERT_EQ(record.rfind(prefix, 0), 0u) << text << ": " << record;
        ASSERT_GE(record.size(), prefix.size() + suffix.size()) << record;
        ASSERT_EQ(record.compare(record.size() - suffix.size(), suffix.size(), suffix), 0)
            << record;
        std::string command =
            record.substr(prefix.size(), record.size() - prefix.size() - suffix.size());
        EXPECT_EQ(asDocumented(command, kDocArchiveNames), expanded) << text;
        std::string guideRow = "| `" + text + "` | `" + expanded + "` |";
        EXPECT_TRUE(contains(guide.text, guideRow)) << "the guide lacks the row " << guideRow;
    }
}

TEST_F(GuideE2ETest, InstructionErrorsReadAsTheGuideSays) {
    Guide guide;
    for (const auto& row : readTable(kExamples + "/instructions/errors.tsv", 2)) {
        std::string script = replaceAll(row[0], "\\n", "\n");
        const std::string& message = row[1];
        writeFile(m_work + "/row.instructions", "INSTRUCTIONS:\n" + script + "\n/:\n");
        std::string launcher =
            pack(path("row.bin"), {{"--instructions", m_work + "/row.instructions"},
                                   {"--launch-script", kExamples + "/quickstart/hello.launch"}});
        RunResult result = run(launcher, {});
        EXPECT_EQ(result.status, 1) << row[0] << ": " << result.out;
        EXPECT_TRUE(hasLine(result.out, message)) << row[0] << ":\n" << result.out;
        std::string shown = "`" + replaceAll(row[0], "\\n", "`<br>`") + "`";
        std::string guideRow = "| " + shown + " | `" + message + "` |";
        EXPECT_TRUE(contains(guide.text, guideRow)) << "the guide lacks the row " << guideRow;
    }
}

}  // namespace

#include "tools/qvpack/QvpackCommand.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "tests/support/LauncherTestSupport.h"
#include "tools/qvpack/ApplicationPlan.h"
#include "tools/qvpack/GeneratedLauncher.h"
#include "tools/qvpack/JarFile.h"

using qvtest::str;
using qvtest::writeFile;

namespace {

// The request in one line: mode, output, stub, then type:id:path per file, then what
// --no-verify and --main-jar set.
std::string describe(const QvpackRequest& request) {
    std::ostringstream out;
    out << request.mode << " out=" << str(request.outputPath) << " stub=" << str(request.stubPath)
        << " list=" << str(request.listPath);
    for (const QvpackRequest::File& file : request.files) {
        out << " " << file.type << ":" << file.id << ":" << str(file.path);
    }
    if (request.noVerify) {
        out << " no-verify";
    }
    const QvpackRequest::Application& app = request.application;
    if (!app.mainJar.empty()) {
        out << " jar=" << str(app.mainJar) << " class=" << str(app.mainClass)
            << " java=" << str(app.javaRange) << " name=" << str(app.name)
            << " config=" << str(app.configDir) << " disk=" << app.searchDisk;
        for (const SString& lib : app.libs) {
            out << " lib=" << str(lib);
        }
        for (const SString& option : app.javaOptions) {
            out << " option=" << str(option);
        }
    }
    return out.str();
}

// A stub with the payload marker a real one carries.
const std::string kStub = std::string("0123") + kStubMarkerBare + "456789";

// Writes a jar (a zip archive) at path holding the entries (name, bytes) in order.
void writeJar(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    std::unique_ptr<zip_t, void (*)(zip_t*)> archive(
        zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error), zip_discard);
    ASSERT_NE(archive, nullptr) << path;
    for (const auto& entry : entries) {
        zip_source_t* source =
            zip_source_buffer(archive.get(), entry.second.data(), entry.second.size(), 0);
        ASSERT_GE(zip_file_add(archive.get(), entry.first.c_str(), source, 0), 0) << entry.first;
    }
    ASSERT_EQ(zip_close(archive.release()), 0) << path;
}

TEST(QvpackCommandTest, ParsesCommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"--help"}, "0 out= stub= list="},
        {{"-o", "x", "--bogus", "-h"}, "0 out= stub= list="},
        {{"list", "launcher"}, "2 out= stub= list=launcher"},
        {{"-o", "out"}, "1 out=out stub= list="},
        {{"--instructions",
          "i",
          "--jvm",
          "j1",
          "--launch-script",
          "l",
          "--classpath",
          "c",
          "--installer",
          "n",
          "--verify",
          "v",
          "--app",
          "a",
          "--launcher",
          "e",
          "-o",
          "out",
          "--stub",
          "s"},
         "1 out=out stub=s list= 0:-1:i 1:-1:j1 2:-1:l 3:-1:c 4:-1:n 5:-1:v 6:-1:a 7:-1:e"},
        {{"-o", "out", "--jvm", "a", "--id", "7", "--jvm", "b", "--jvm", "c", "--id", "0", "--app",
          "d"},
         "1 out=out stub= list= 1:-1:a 1:7:b 1:-1:c 6:0:d"},
        {{"-o", "out", "--id", "2147483647", "--app", "d"}, "1 out=out stub= list= 6:2147483647:d"},
        {{"-o", "out", "--no-verify", "--jvm", "j"}, "1 out=out stub= list= 1:-1:j no-verify"},
        {{"--main-jar", "a.jar", "-o", "out"},
         "1 out=out stub= list= jar=a.jar class= java= name= config= disk=0"},
        {{"-o",           "out",      "--main-jar",    "a.jar",
          "--main-class", "p.M",      "--lib",         "l1",
          "--java",       "[11,)",    "--java-option", "-Dx=$HOME y",
          "--lib",        "l2",       "--java-option", "-Xmx1g",
          "--name",       "my-tool",  "--search-disk", "--write-config",
          "cfg",          "--verify", "v.jar"},
         "1 out=out stub= list= 5:-1:v.jar jar=a.jar class=p.M java=[11,) name=my-tool "
         "config=cfg disk=1 lib=l1 lib=l2 option=-Dx=$HOME y option=-Xmx1g"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args) {
            joined += arg + " ";
        }
        EXPECT_EQ(describe(parseQvpackArguments(c.args)), c.expected) << joined;
    }
}

TEST(QvpackCommandTest, RejectsBadCommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"--jvm", "a"}, "no output file given (-o OUT)"},
        {{"-o", "out", "--bogus"}, "unknown option --bogus"},
        {{"-o", "out", "stray"}, "unexpected argument stray (files are given with a file option)"},
        {{"-o"}, "option -o needs a value"},
        {{"-o", "out", "--jvm"}, "option --jvm needs a value"},
        {{"-o", "a", "-o", "b"}, "option -o is given twice"},
        {{"-o", "a", "--stub", ""}, "option --stub needs a non-empty value"},
        {{"-o", "out", "--id", "x", "--jvm", "a"},
         "--id needs a number from 0 to 2147483647, not \"x\""},
        {{"-o", "out", "--id", "-1", "--jvm", "a"},
         "--id needs a number from 0 to 2147483647, not \"-1\""},
        {{"-o", "out", "--id", "2147483648", "--jvm", "a"},
         "--id needs a number from 0 to 2147483647, not \"2147483648\""},
        {{"-o", "out", "--id", "1"}, "--id 1 is not followed by a file option"},
        {{"-o", "out", "--id", "1", "--id", "2", "--jvm", "a"},
         "--id 1 is not followed by a file option"},
        {{"list"}, "list takes exactly one launcher file"},
        {{"list", "a", "b"}, "list takes exactly one launcher file"},
        {{"-o", "out", "--lib", "l"}, "option --lib needs --main-jar"},
        {{"-o", "out", "--search-disk"}, "option --search-disk needs --main-jar"},
        {{"-o", "out", "--main-jar", "a.jar", "--jvm", "j"},
         "option --jvm cannot be used with --main-jar, which makes the tag files itself "
         "(--write-config shows them)"},
        {{"-o", "out", "--main-jar", "a.jar", "--id", "3", "--verify", "v"},
         "option --id cannot be used with --main-jar, which makes the tag files itself "
         "(--write-config shows them)"},
        {{"-o", "out", "--verify", "v", "--no-verify"},
         "options --verify and --no-verify exclude each other"},
        {{"-o", "out", "--main-jar", "a.jar", "--java", "eleven"},
         "--java needs a version range such as [11,) or [1.8,17], not \"eleven\""},
        {{"-o", "out", "--main-jar", "a.jar", "--java", "[11\n,)"},
         "--java needs a version range such as [11,) or [1.8,17], not \"[11\n,)\""},
        {{"-o", "out", "--main-jar", "a.jar", "--name", "a/b"},
         "--name needs a plain file name (no /, line break or NUL), not \"a/b\""},
        {{"-o", "out", "--main-jar", "a.jar", "--java-option", ""},
         "option --java-option needs a non-empty value"},
        {{"-o", "out", "--main-jar", "a.jar", "--main-jar", "b.jar"},
         "option --main-jar is given twice"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args) {
            joined += arg + " ";
        }
        try {
            parseQvpackArguments(c.args);
            ADD_FAILURE() << "accepted " << joined;
        } catch (const QvpackUsageError& e) {
            EXPECT_EQ(str(e.m_message), c.expected) << joined;
        }
    }
}

TEST(QvpackCommandTest, HelpNamesEveryOption) {
    std::ostringstream out;
    runQvpack(parseQvpackArguments({"--help"}), out, out);
    const char* const options[] = {"-o OUT",
                                   "--stub STUB",
                                   "--id N",
                                   "--instructions F",
                                   "--jvm F",
                                   "--launch-script F",
                                   "--classpath F",
                                   "--installer F",
                                   "--verify F",
                                   "--app F",
                                   "--launcher F",
                                   "qvpack list FILE",
                                   "--no-verify",
                                   "--main-jar APP.jar",
                                   "--main-class NAME",
                                   "--lib PATH",
                                   "--java RANGE",
                                   "--name NAME",
                                   "--search-disk",
                                   "--java-option OPTION",
                                   "--write-config DIR"};
    for (const char* option : options) {
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    }
}

TEST(QvpackCommandTest, PacksAndListsExactly) {
    qvtest::TemporaryDirectory dir{"qvtest-input"};
    writeFile(dir / "stub", kStub);
    writeFile(dir / "start.tag", "A: 1\n");
    writeFile(dir / "app.jar", "PK");
    std::ostringstream packed;
    std::ostringstream warnings;
    runQvpack(parseQvpackArguments({"-o", dir / "out", "--stub", dir / "stub", "--instructions",
                                    dir / "start.tag", "--id", "12", "--app", dir / "app.jar",
                                    "--no-verify"}),
              packed, warnings);
    EXPECT_EQ(packed.str() + warnings.str(), "");
    std::ostringstream listing;
    runQvpack(parseQvpackArguments({"list", dir / "out"}), listing, warnings);
    EXPECT_EQ(listing.str(),
              "POS  TYPE                   ID     LENGTH     OFFSET  NAME\n"
              "0    instructions            1          5         42  start.tag\n"
              "1    app                    12          2         47  app.jar\n");
    EXPECT_EQ(qvtest::readFile(dir / "out").substr(0, kStub.size()),
              std::string("0123") + kStubMarkerPacked + "456789");

    // A launcher that carries jvm files builds, with a warning for each file it lacks.
    writeFile(dir / "a.jvm", "JVM_EXE: bin/java\n");
    runQvpack(parseQvpackArguments({"-o", dir / "out", "--stub", dir / "stub", "--jvm",
                                    dir / "a.jvm", "--no-verify"}),
              packed, warnings);
    EXPECT_EQ(warnings.str(),
              "qvpack: warning: the launcher has jvm files but no instruction script "
              "(--instructions): it runs nothing\n"
              "qvpack: warning: the launcher has jvm files but no launch script "
              "(--launch-script): it cannot launch\n"
              "qvpack: warning: the launcher has jvm files but no verify archive (--verify): no "
              "JVM can be verified\n");

    std::ostringstream plain;
    runQvpack(parseQvpackArguments({"list", dir / "stub"}), plain, warnings);
    EXPECT_EQ(plain.str(),
              "POS  TYPE                   ID     LENGTH     OFFSET  NAME\n"
              "(no embedded files)\n");
}

TEST(QvpackCommandTest, DefaultStubIsTheLauncherBesideTheTool) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    std::string expected(self, static_cast<size_t>(length));
    expected = expected.substr(0, expected.rfind('/') + 1) + "qvlauncher";
    EXPECT_EQ(str(defaultStubPath()), expected);
}

// A literal's bytes, NUL bytes included.
template <size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// text with every from replaced by to.
std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// What produce returns, or "error: " + the message it throws.
std::string outcome(const std::function<SString()>& produce) {
    try {
        return str(produce());
    } catch (const LauncherException& e) {
        return "error: " + str(e.m_message);
    }
}

TEST(QvpackCommandTest, ReadsTheManifestsMainSection) {
    const std::pair<std::string, std::string> cases[] = {
        {"Main-Class: a.B\nClass-Path: x.jar\n", "a.B|x.jar"},
        // Continuations join without their first blank, also across CR LF; only the main
        // section counts.
        {"Manifest-Version: 1.0\r\nMain-Class: com.exa\r\n mple.Main\r\nClass-Path: lib/a.jar "
         "\r\n lib/b.jar\r\n\r\nName: x\r\nMain-Class: not.This\r\n",
         "com.example.Main|lib/a.jar lib/b.jar"},
        {"main-class:   spaced.Name  \rCLASS-PATH: c.jar\r", "spaced.Name|c.jar"},
        {"Created-By: x\n\nMain-Class: late.Main\n", "|"},
        {" lead\n",
         "error: Invalid manifest in app.jar at line 1: a continuation line with "
         "nothing to continue"},
        {"Main-Class: a\nno colon\n",
         "error: Invalid manifest in app.jar at line 2: a line without \"Name: value\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(outcome([&] {
                      ManifestAttributes read = parseManifest(c.first.c_str(), "app.jar");
                      return concat(read.mainClass, "|", read.classPath);
                  }),
                  c.second)
            << c.first;
    }
}

TEST(QvpackCommandTest, DefaultRangeFollowsTheClassFileVersion) {
    const std::pair<std::string, std::string> cases[] = {
        {bytes("\xCA\xFE\xBA\xBE\x00\x03\x00\x2D"), "[1.1,)"},
        {bytes("\xCA\xFE\xBA\xBE\x00\x00\x00\x33"), "[1.7,)"},
        {bytes("\xCA\xFE\xBA\xBE\x00\x00\x00\x34"), "[1.8,)"},
        {bytes("\xCA\xFE\xBA\xBE\x00\x00\x00\x35"), "[9,)"},
        {bytes("\xCA\xFE\xBA\xBE\x00\x00\x00\x45"), "[25,)"},
        {bytes("\xCA\xFE\xBA\xBF\x00\x00\x00\x34"), "error: M.class is not a class file"},
        {bytes("\xCA\xFE\xBA\xBE\x00\x00\x00\x2C"), "error: M.class is not a class file"},
        {bytes("\xCA\xFE\xBA\xBE\x00\x00\x00"), "error: M.class is not a class file"}};
    for (const auto& c : cases) {
        const SString header(c.first.data(), static_cast<SString::size_type>(c.first.size()));
        EXPECT_EQ(outcome([&] {
                      return javaRangeForMajorVersion(classFileMajorVersion(header, "M.class"));
                  }),
                  c.second)
            << c.second;
    }
}

TEST(QvpackCommandTest, NamesVariablesAndDescriptions) {
    const std::pair<std::function<SString(const SString&)>, std::vector<const char*>> cases[] = {
        {optionsVariableName,
         {"my-tool", "MY_TOOL_OPTS", "Hello2", "HELLO2_OPTS", "\xC3\xA9t 1", "__T_1_OPTS"}},
        {defaultLauncherName,
         {"dist/my-tool.bin", "my-tool", "a.b.c", "a.b", "dir.d/run", "run", "d/.bin", ".bin"}},
        {describeJavaRange,
         {"[11,)", "Java 11 or later", "[1.8,)", "Java 8 or later", "[11,17)", "Java [11,17)",
          "(11,)", "Java (11,)"}},
    };
    for (const auto& c : cases) {
        for (size_t i = 0; i + 1 < c.second.size(); i += 2) {
            EXPECT_EQ(str(c.first(c.second[i])), c.second[i + 1]) << c.second[i];
        }
    }
}

TEST(QvpackCommandTest, RejectsBrokenLaunchScriptTemplates) {
    const std::string unpaired = " (write %% for a literal %)";
    struct Case {
        std::string command;
        std::string archive;
        std::string problem;  // after "Invalid launch script s.launch: "; empty: none
    } cases[] = {
        {"exec java %SYSTEMPROP%(\"a\", \"50%\") %CP%( ) 100%%", "\"%APPLICATION_ARCHIVE%()\"", ""},
        {"exec java %FOO%() x", "", "COMMAND has an unknown function %FOO% at character 10"},
        {"java 50%% of %CP%()", "", "COMMAND has an unknown function %% of % at character 7"},
        {"exec java 100%", "", "COMMAND has an unpaired % at character 13" + unpaired},
        {"a %CP%() 5% b", "", "COMMAND has an unpaired % at character 10" + unpaired},
        {"%CP%(\"a\"", "", "COMMAND has an argument list of %CP% that does not close"},
        {"%CP%(\"a", "", "COMMAND has an argument list of %CP% that does not close"},
        {"%CP%(\"a\",  ", "", "COMMAND has an argument list of %CP% that does not close"},
        {"%CP%(x.jar)", "",
         "COMMAND has a bad argument list of %CP%: Expected string arg. (near character 5)"},
        {"%LAUNCHER_DIR% x", "",
         "COMMAND has a bad argument list of %LAUNCHER_DIR%: Expected left parenthesis. (near "
         "character 14)"},
        {"exec java", "%NOPE%()", "ARCHIVE has an unknown function %NOPE% at character 0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(str(launchScriptProblem("s.launch", c.command.c_str(), c.archive.c_str())),
                  c.problem.empty() ? "" : "Invalid launch script s.launch: " + c.problem)
            << c.command;
    }
    // qvpack refuses such a launch script by its path.
    qvtest::TemporaryDirectory dir{"qvtest-qvpack"};
    writeFile(dir / "stub", kStub);
    writeFile(dir / "s.launch", "COMMAND: exec java %CP%() 100%\n");
    std::ostringstream out;
    EXPECT_EQ(outcome([&] {
                  runQvpack(parseQvpackArguments({"-o", dir / "out", "--stub", dir / "stub",
                                                  "--launch-script", dir / "s.launch"}),
                            out, out);
                  return SString("packed");
              }),
              "error: Invalid launch script " + dir / "s.launch" +
                  ": COMMAND has an unpaired % at character 20" + unpaired);
    EXPECT_FALSE(qvtest::exists(dir / "out"));
}

TEST(QvpackCommandTest, FindsTheStubAndVerifyArchiveBesideOrInstalled) {
    qvtest::TemporaryDirectory dir{"qvtest-qvpack"};
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        // Files under D (a directory ends in /); then what is found, D for the directory.
        {{"bin/qvlauncher", "bin/verify.jar", "lib/qvlauncher/verify.jar"},
         "D/bin/qvlauncher | D/bin/verify.jar"},
        {{"bin/", "lib/qvlauncher/qvlauncher", "lib/qvlauncher/verify.jar"},
         "D/lib/qvlauncher/qvlauncher | D/lib/qvlauncher/verify.jar"},
        {{"bin/qvlauncher/", "lib/"},
         "No qvlauncher stub beside qvpack (D/bin/qvlauncher) or installed "
         "(D/lib/qvlauncher/qvlauncher); give --stub STUB | No verify archive beside qvpack "
         "(D/bin/verify.jar) or installed (D/lib/qvlauncher/verify.jar); give --verify F, or "
         "--no-verify to pack none"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string base = dir / std::to_string(i);
        for (const std::string& file : cases[i].first) {
            const std::string path = base + "/" + file;
            for (size_t slash = path.find('/', dir.path().size() + 1); slash != std::string::npos;
                 slash = path.find('/', slash + 1)) {
                mkdir(path.substr(0, slash).c_str(), 0755);
            }
            if (path.back() != '/') {
                writeFile(path, "x");
            }
        }
        const SString bin = (base + "/bin").c_str();
        std::string found = outcome([&] { return defaultStubPath(bin); }) + " | " +
                            outcome([&] { return defaultVerifyArchive(bin); });
        EXPECT_EQ(replaceAll(replaceAll(found, base, "D"), "error: ", ""), cases[i].second) << i;
    }
}

// Plans the packing of <dir>/app.jar, holding the entries given (none: not a zip), with the
// options given, into <dir>/out/tool.bin: "name|main class|range|jars", paths relative to
// dir, or the error.
class ApplicationPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"lib/", "libs/", "libs/sub.jar/"}) {
            mkdir((m_dir / name).c_str(), 0755);
        }
        for (const char* name :
             {"lib/u.jar", "libs/b.jar", "libs/a.jar", "libs/.hidden.jar", "libs/notes.txt"}) {
            writeFile(m_dir / name, "PK");
        }
    }

    std::string plan(const std::vector<std::pair<std::string, std::string>>& entries,
                     const std::vector<std::string>& options) {
        if (entries.empty()) {
            writeFile(m_dir / "app.jar", "not a zip");
        } else {
            writeJar(m_dir / "app.jar", entries);
        }
        std::vector<std::string> args = {"-o", m_dir / "out/tool.bin", "--main-jar",
                                         m_dir / "app.jar"};
        args.insert(args.end(), options.begin(), options.end());
        const std::string result = outcome([&] {
            QvpackRequest request = parseQvpackArguments(args);
            ApplicationPlan planned = planApplication(request.application, request.outputPath);
            SString described = concat(planned.launcher.name, "|", planned.launcher.mainClass, "|",
                                       planned.launcher.javaRange, "|");
            for (const SString& jar : planned.jars) {
                described += concat(jar, " ");
            }
            return described;
        });
        return replaceAll(result, m_dir.path() + "/", "");
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-plan"};
};

TEST_F(ApplicationPlanTest, TakesWhatTheJarSaysAndReportsWhatIsMissing) {
    const std::pair<std::string, std::string> manifest = {
        "META-INF/MANIFEST.MF",
        "Manifest-Version: 1.0\r\nMain-Class: app.Main\r\nClass-Path: lib/u.ja\r\n r\r\n\r\n"};
    const std::pair<std::string, std::string> mainClass = {
        "app/Main.class", std::string("\xCA\xFE\xBA\xBE\x00\x00\x00\x37\x00", 9)};
    struct Case {
        std::vector<std::pair<std::string, std::string>> entries;
        std::vector<std::string> options;
        std::string expected;
    } cases[] = {
        {{manifest, mainClass},
         {"--lib", m_dir / "libs", "--lib", m_dir / "lib/u.jar"},
         "tool|app.Main|[11,)|app.jar lib/u.jar libs/a.jar libs/b.jar "},
        {{{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n"}},
         {"--main-class", "other.Main", "--java", "[17,)", "--name", "x"},
         "x|other.Main|[17,)|app.jar "},
        {{mainClass},
         {},
         "error: app.jar names no main class (no Main-Class in META-INF/MANIFEST.MF); give "
         "--main-class NAME"},
        {{manifest},
         {"--main-class", "b.Gone"},
         "error: The main class b.Gone is not in app.jar (no b/Gone.class); give --java RANGE to "
         "pack it anyway"},
        {{{"META-INF/MANIFEST.MF", "Main-Class: app.Main\nClass-Path: lib/u.jar  gone.jar\n"},
          mainClass},
         {},
         "error: The Class-Path entry gone.jar of app.jar does not exist (gone.jar)"},
        {{{"META-INF/MANIFEST.MF", "Main-Class: app Main\n"}},
         {},
         "error: \"app Main\" is not a class name (Main-Class of app.jar)"},
        {{manifest, {"app/Main.class", "nope"}},
         {},
         "error: app/Main.class in app.jar is not a class file"},
        {{}, {}, "error: Cannot read app.jar as a jar: Not a zip archive"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plan(c.entries, c.options), c.expected);
    }
}

}  // namespace

// Black-box tests of one-command packing: a small application of three jars, built once for the
// suite with the JDK that built verify.jar, packed by "qvpack --main-jar" (from the build tree
// and from an installed copy) and run on that JDK; then such a launcher as its user meets it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

#ifdef QV_JDK_HOME

const std::string kJdkHome = QV_JDK_HOME;

// app.Main reports what it received: the properties named by qv.show (by default qv.opt,
// qv.env, qv.a and qv.b), each argument and, with qv.read=true, the content of the file the
// argument names. The report goes into the file named by qv.report, else to standard output;
// then the application exits with the status given by qv.status. With qv.wait it first puts
// its process id into the file qv.wait names and sleeps. It needs util.jar (named by the
// manifest's Class-Path) and extra.jar (given with --lib).
const char kMainSource[] =
    "package app;\n"
    "import java.nio.file.*;\n"
    "public class Main {\n"
    "  public static void main(String[] args) throws Exception {\n"
    "    String wait = System.getProperty(\"qv.wait\");\n"
    "    if (wait != null) {\n"
    "      Path part = Paths.get(wait + \".part\");\n"
    "      Files.write(part, Long.toString(ProcessHandle.current().pid()).getBytes(\"UTF-8\"));\n"
    "      Files.move(part, Paths.get(wait), StandardCopyOption.ATOMIC_MOVE);\n"
    "      Thread.sleep(60000);\n"
    "    }\n"
    "    StringBuilder out = new StringBuilder(util.Util.NAME + \" \" + extra.Extra.NAME + "
    "\"\\n\");\n"
    "    for (String p : System.getProperty(\"qv.show\", "
    "\"qv.opt,qv.env,qv.a,qv.b\").split(\",\"))\n"
    "      out.append(p).append(\"=<\").append(System.getProperty(p)).append(\">\\n\");\n"
    "    for (String a : args) {\n"
    "      out.append(\"arg=<\").append(a).append(\">\\n\");\n"
    "      if (Boolean.getBoolean(\"qv.read\"))\n"
    "        out.append(\"file=<\").append(new String(Files.readAllBytes(Paths.get(a)), "
    "\"UTF-8\")).append(\">\\n\");\n"
    "    }\n"
    "    byte[] bytes = out.toString().getBytes(\"UTF-8\");\n"
    "    String report = System.getProperty(\"qv.report\");\n"
    "    if (report != null) Files.write(Paths.get(report), bytes);\n"
    "    else { System.out.write(bytes); System.out.flush(); }\n"
    "    System.exit(Integer.getInteger(\"qv.status\", 0));\n"
    "  }\n"
    "}\n";

// The java option that must arrive unchanged: shell, quote and template syntax.
const char kOddOption[] = "-Dqv.opt=$HOME \"q\" 'x' 50% a@b #c# `id`";

class MainJarE2ETest : public PackedLauncherTest {
protected:
    MainJarE2ETest() : PackedLauncherTest("qvtest-mainjar") {}

    // Builds <app>/dist/app.jar (manifest Main-Class and Class-Path lib/util.jar),
    // <app>/dist/lib/util.jar and <app>/libdir/extra.jar, once for the suite.
    static void SetUpTestSuite() {
        s_app.reset(new TemporaryDirectory("qvtest-mainjar-app"));
        const std::string app = s_app->path();
        writeFile(app + "/Main.java", kMainSource);
        writeFile(app + "/Util.java",
                  "package util; public class Util { public static final "
                  "String NAME = \"util\"; }\n");
        writeFile(app + "/Extra.java",
                  "package extra; public class Extra { public static final "
                  "String NAME = \"extra\"; }\n");
        writeFile(app + "/manifest.txt", "Main-Class: app.Main\nClass-Path: lib/util.jar\n");
        Command build;
        build.program = "/bin/sh";
        build.args = {"-c", "set -e; J=" + kJdkHome +
                                "/bin; mkdir -p dist/lib libdir; echo x > libdir/notes.txt\n"
                                "$J/javac --release 11 -d classes *.java\n"
                                "$J/jar --create --file dist/app.jar --manifest manifest.txt -C "
                                "classes app\n"
                                "$J/jar --create --file dist/lib/util.jar -C classes util\n"
                                "$J/jar --create --file libdir/extra.jar -C classes extra\n"};
        build.directory = build.captureDirectory = app;
        RunResult built = runProgram(build);
        s_buildError = built.status == 0 ? "" : built.out + built.err;
    }

    static void TearDownTestSuite() { s_app.reset(); }

    void SetUp() override {
        PackedLauncherTest::SetUp();
        ASSERT_EQ(s_buildError, "");
        m_environment["JAVA_HOME"] = kJdkHome;
        m_environment["QV_VERIFY_CACHE"] = "0";
        m_environment["JAVA_OPTS"] = " -Dqv.a=1 \t -Dqv.b=2 ";
        // One word, which the shell must neither split nor run.
        m_environment["MY_TOOL_OPTS"] = "-Dqv.status=7 -Dqv.env=$(touch${IFS}pwned);*'q'\"d\"";
    }

    // The qvpack command that packs the application as <dir>/my-tool.bin.
    std::vector<std::string> packArguments() const {
        const std::string app = s_app->path();
        return {"-o",
                path("my-tool.bin"),
                "--main-jar",
                app + "/dist/app.jar",
                "--lib",
                app + "/libdir",
                "--java-option",
                kOddOption,
                "--java-option",
                "-Dqv.report=" + path("report.txt")};
    }

    // Runs the launcher with arguments that must arrive unchanged; checks the report and the
    // exit status the application chose.
    void expectTheApplicationRuns(const std::string& launcher) const {
        RunResult result = runProgram(command(launcher, {"two words", "$HOME", "", "*", "x\"y'z"}));
        EXPECT_EQ(result.status, 7) << result.out << result.err;
        EXPECT_EQ(readFile(path("report.txt")),
                  "util extra\n"
                  "qv.opt=<$HOME \"q\" 'x' 50% a@b #c# `id`>\n"
                  "qv.env=<$(touch${IFS}pwned);*'q'\"d\">\n"
                  "qv.a=<1>\n"
                  "qv.b=<2>\n"
                  "arg=<two words>\n"
                  "arg=<$HOME>\n"
                  "arg=<>\n"
                  "arg=<*>\n"
                  "arg=<x\"y'z>\n")
            << result.out << result.err;
        EXPECT_FALSE(exists(path("pwned")));
    }

    static std::unique_ptr<TemporaryDirectory> s_app;
    static std::string s_buildError;
};

std::unique_ptr<TemporaryDirectory> MainJarE2ETest::s_app;
std::string MainJarE2ETest::s_buildError;

// One command packs the application with its jars, the generated tag files and the verify
// archive; --write-config writes those tag files exactly as embedded.
TEST_F(MainJarE2ETest, OneCommandPacksTheApplicationAndItsConfiguration) {
    std::vector<std::string> args = packArguments();
    args.insert(args.end(), {"--write-config", path("config")});
    RunResult packed = runProgram(command(kQvpack, args));
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.out + packed.err, "");

    RunResult listed = runProgram(command(kQvpack, {"list", path("my-tool.bin")}));
    std::string kinds;
    for (const std::string& row : lines(listed.out)) {
        kinds += row.substr(5, 15) + row.substr(row.rfind(' ') + 1) + "\n";
    }
    EXPECT_EQ(kinds,
              "TYPE           NAME\n"
              "instructions   my-tool.instructions\n"
              "jvm            my-tool.jvm\n"
              "launch-script  my-tool.launch\n"
              "verify         verify.jar\n"
              "classpath      app.jar\n"
              "classpath      util.jar\n"
              "classpath      extra.jar\n");

    const std::string extracted = makeDirectory("extracted");
    Command extract = command(path("my-tool.bin"), {"-qv:extract"});
    extract.directory = extracted;
    ASSERT_EQ(runProgram(extract).status, 0);
    const std::vector<std::string> written = {"my-tool.instructions", "my-tool.jvm",
                                              "my-tool.launch"};
    EXPECT_EQ(listDirectory(path("config")), written);
    for (const std::string& name : written) {
        EXPECT_EQ(readFile(path("config/" + name)), readFile(extracted + "/" + name)) << name;
    }
    EXPECT_FALSE(contains(readFile(kLauncher), ".debug_info")) << "the stub carries debug info";

    expectTheApplicationRuns(path("my-tool.bin"));
}

// The guide shows the tag files written for the application (compiled for Java 11) packed
// with one plain java option; the Java homes named after a version end in this machine's
// architecture.
TEST_F(MainJarE2ETest, WrittenConfigurationIsTheGuides) {
    RunResult packed = runProgram(
        command(kQvpack, {"-o", path("my-tool.bin"), "--main-jar", s_app->path() + "/dist/app.jar",
                          "--java-option", "-Xmx512m", "--write-config", path("config")}));
    ASSERT_EQ(packed.status, 0) << packed.err;
    const std::regex arch("-openjdk-[a-z0-9]+\n");
    for (const char* name : {"my-tool.instructions", "my-tool.jvm", "my-tool.launch"}) {
        EXPECT_EQ(std::regex_replace(readFile(path("config/") + name), arch, "-openjdk-amd64\n"),
                  readFile(std::string(QV_SOURCE_DIR) + "/docs/examples/mainjar/" + name))
            << name;
    }
}

// An installed qvpack finds its stub and verify archive below its prefix.
TEST_F(MainJarE2ETest, InstalledQvpackNeedsNoStubOrVerifyArchive) {
    RunResult found = runProgram(command("/bin/sh", {"-c", "command -v cmake"}));
    if (found.status != 0) {
        GTEST_SKIP() << "cmake is not on PATH";
    }
    const std::string prefix = path("prefix");
    RunResult installed = runProgram(
        command(lines(found.out).at(0), {"--install", QV_BUILD_DIR, "--prefix", prefix}));
    ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
    for (const char* file :
         {"bin/qvpack", "lib/qvlauncher/qvlauncher", "lib/qvlauncher/verify.jar",
          "share/doc/qvlauncher/guide.md", "share/doc/qvlauncher/architecture.md"}) {
        EXPECT_TRUE(exists(prefix + "/" + file)) << file;
    }
    RunResult packed = runProgram(command(prefix + "/bin/qvpack", packArguments()));
    ASSERT_EQ(packed.status, 0) << packed.err;
    // The run needs the verify archive: without it no JVM passes the check.
    expectTheApplicationRuns(path("my-tool.bin"));
}

// The launcher as its user meets it: the application packed by one qvpack command, with no
// option beyond its jars, into a file without an extension, as it would be installed.
class MainJarAcceptanceTest : public MainJarE2ETest {
protected:
    // Packs the application as <dir>/<name> with one qvpack command and the options given.
    std::string packTool(const std::string& name,
                         const std::vector<std::string>& options = {}) const {
        const std::string app = s_app->path();
        std::vector<std::string> args = {
            "-o", path(name), "--main-jar", app + "/dist/app.jar", "--lib", app + "/libdir"};
        args.insert(args.end(), options.begin(), options.end());
        RunResult packed = runProgram(command(kQvpack, args));
        EXPECT_EQ(packed.status, 0) << packed.err;
        return path(name);
    }

    // A PATH whose first directory, <dir>/<name>, holds only a link named java to java.
    std::string pathLeadingTo(const std::string& name, const std::string& java) const {
        std::string dir = makeDirectory(name);
        EXPECT_EQ(symlink(java.c_str(), (dir + "/java").c_str()), 0);
        return dir + ":/usr/bin:/bin";
    }
};

std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The feature version of the JDK at home from its release file (JAVA_VERSION="17.0.15"), or 0.
int featureVersion(const std::string& home) {
    std::smatch match;
    const std::string release = readFile(home + "/release");
    static const std::regex version("JAVA_VERSION=\"([0-9]+)");
    return std::regex_search(release, match, version) ? std::stoi(match[1].str()) : 0;
}

// A JDK 11 or later in /usr/lib/jvm that none of the jvm file's fixed homes leads to; empty
// when this machine has none.
std::string jdkOutsideTheHomes(const std::string& jvmFile) {
    std::vector<std::string> homes;
    const std::vector<std::string> all = lines(jvmFile);
    for (size_t i = std::find(all.begin(), all.end(), "PATH_HINT:") - all.begin() + 1;
         i < all.size() && all[i] != "/:"; ++i) {
        homes.push_back(realPath("/" + all[i]));  // #JAVA_HOME# and <PATH> lead nowhere
    }
    for (const std::string& name : listDirectory("/usr/lib/jvm")) {
        std::string home = realPath("/usr/lib/jvm/" + name);
        if (!home.empty() && std::find(homes.begin(), homes.end(), home) == homes.end() &&
            isExecutable(home + "/bin/java") && featureVersion(home) >= 11) {
            return home;
        }
    }
    return "";
}

// text as a regular expression that matches text alone.
std::string literally(const std::string& text) {
    static const std::regex special("[.^$|()\\[\\]{}*+?\\\\]");
    return std::regex_replace(text, special, "\\$&");
}

// Standard output, redirected to a file, holds the application's bytes alone; arguments, the
// exit status and the words of JAVA_OPTS and MY_TOOL_OPTS arrive as data (words split at
// blanks, nothing run); through a link from another directory the working directory stays and
// the runtime files are those beside the real file (JAVA_OPTS comes after them and wins); a
// JAVA_HOME without a JVM costs one line on standard error and the java on PATH runs instead.
TEST_F(MainJarAcceptanceTest, RunsAsItsUserStartsIt) {
    const std::string tool = packTool("my-tool");
    const std::string elsewhere = makeDirectory("elsewhere");
    makeDirectory("bin");
    ASSERT_EQ(symlink(tool.c_str(), path("bin/my-tool").c_str()), 0);
    writeFile(elsewhere + "/input.txt", "relative input");
    writeFile(path("my-tool.ja"), "-Dqv.a=beside-the-file\n");
    writeFile(path("bin/my-tool.ja"), "-Dqv.a=beside-the-link\n");
    const std::string noJdk = path("no-jdk");
    struct Case {
        std::string program;
        std::string directory;
        std::map<std::string, std::string> environment;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {tool,
         m_dir,
         {{"JAVA_OPTS", " -Dqv.a='1 \t -Dqv.b=2;\" "}},
         {"two words", "$HOME", "", "*", "x\"y'z"},
         7,
         "util extra\nqv.opt=<null>\nqv.env=<$(touch${IFS}pwned);*'q'\"d\">\nqv.a=<'1>\n"
         "qv.b=<2;\">\narg=<two words>\narg=<$HOME>\narg=<>\narg=<*>\narg=<x\"y'z>\n",
         ""},
        {path("bin/my-tool"),
         elsewhere,
         {{"JAVA_OPTS", "-Dqv.read=true -Dqv.show=user.dir,qv.a"}, {"MY_TOOL_OPTS", ""}},
         {"input.txt"},
         0,
         "util extra\nuser.dir=<" + elsewhere +
             ">\nqv.a=<beside-the-file>\narg=<input.txt>\nfile=<relative input>\n",
         ""},
        {tool,
         m_dir,
         {{"JAVA_HOME", noJdk},
          {"PATH", pathLeadingTo("build-jdk", kJdkHome + "/bin/java")},
          {"JAVA_OPTS", "-Dqv.show=java.home"},
          {"MY_TOOL_OPTS", ""}},
         {},
         0,
         "util extra\njava.home=<" + kJdkHome + ">\n",
         "qvlauncher: JAVA_HOME=" + noJdk + " is not used: " + noJdk +
             "/bin/java does not exist; using " + kJdkHome + "\n"},
    };
    for (const Case& c : cases) {
        Command run = command(c.program, c.args);
        run.directory = c.directory;
        for (const auto& setting : c.environment) {
            run.environment[setting.first] = setting.second;
        }
        RunResult result = runProgram(run);
        EXPECT_EQ(result.status, c.status) << c.program << "\n" << result.err;
        EXPECT_EQ(result.out, c.out) << c.program;
        EXPECT_EQ(result.err, c.err) << c.program;
    }
    EXPECT_FALSE(exists(path("pwned")));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// SIGTERM to the launcher while the application runs ends both; the launcher's status says
// so, and nothing of the run is left in the temporary directory.
TEST_F(MainJarAcceptanceTest, TerminatedLauncherEndsTheApplicationAndCleansUp) {
    const std::string pidFile = path("app.pid");
    Command start = command(packTool("my-tool"), {});
    start.environment["JAVA_OPTS"] = "-Dqv.wait=" + pidFile;
    // Jars extracted for the run, which the launcher stays to remove.
    start.environment["QV_APP_CACHE"] = "0";
    ChildProcess running(start);
    ASSERT_TRUE(eventually([&] { return exists(pidFile); }));
    const pid_t application = static_cast<pid_t>(std::stol(readFile(pidFile)));
    EXPECT_FALSE(leftInTemp().empty()) << "the jars and the jvm file are in use";
    kill(running.pid(), SIGTERM);
    RunResult result = running.wait();

    EXPECT_EQ(result.status, 143) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Stopped by signal 15 (Terminated)\n");
    EXPECT_TRUE(eventually([&] { return hasEnded(application); }));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

// Without JAVA_HOME, a JDK that only PATH leads to (a link to its bin/java) runs the
// application, though it is none of the jvm file's fixed homes.
TEST_F(MainJarAcceptanceTest, JdkOnlyOnPathRunsTheApplication) {
    const std::string tool = packTool("my-tool", {"--write-config", path("config")});
    const std::string jdk = jdkOutsideTheHomes(readFile(path("config/my-tool.jvm")));
    if (jdk.empty()) {
        GTEST_SKIP() << "no JDK 11 or later in /usr/lib/jvm outside the homes the jvm file names";
    }
    Command run = command(tool, {});
    run.environment.erase("JAVA_HOME");
    run.removedVariables = {"JAVA_HOME"};
    run.environment["PATH"] = pathLeadingTo("path-only", jdk + "/bin/java");
    run.environment["JAVA_OPTS"] = "-Dqv.show=java.home";
    run.environment["MY_TOOL_OPTS"] = "";
    RunResult result = runProgram(run);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "util extra\njava.home=<" + jdk + ">\n");
    EXPECT_EQ(result.err, "");
}

// Without a matching JVM the launcher ends with 1 and says, on standard error alone, what was
// required, where it looked and what to do.
TEST_F(MainJarAcceptanceTest, NoMatchingJvmFailsSayingWhatWhereAndHow) {
    RunResult result = runProgram(command(packTool("needs-99", {"--java", "[99,)"}), {"x"}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    const std::string java = literally(kJdkHome + "/bin/java");
    const std::string mismatch = "java\\.specification\\.version is [0-9.]+, expected \\[99,\\)";
    const std::regex message(
        "qvlauncher: JAVA_HOME=" + literally(kJdkHome) + " is not used: " + java + ": " + mismatch +
        "; no JVM was found\n"
        "No matching JVM was found\\.\nRequired:\n"
        "  Java 99 or later \\(needs-99\\.jvm\\): "
        "java\\.specification\\.version=\\[99,\\)\n"
        "Tried:\n  " +
        java + " \\(needs-99\\.jvm\\): " + mismatch + "\n(  .*\n)*" + literally(kFixWithJavaHome));
    EXPECT_TRUE(std::regex_match(result.err, message)) << result.err;
}

TEST_F(MainJarAcceptanceTest, StrippedLauncherSaysItLostItsFiles) {
    if (access("/usr/bin/strip", X_OK) != 0) {
        GTEST_SKIP() << "no /usr/bin/strip";
    }
    const std::string tool = packTool("my-tool");
    RunResult stripped = runProgram(command("/usr/bin/strip", {tool}));
    ASSERT_EQ(stripped.status, 0) << stripped.err;
    RunResult result = runProgram(command(tool, {"x"}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, kPayloadLost);
}

// -qv:help answers on standard output; QV_LOG=- puts the log on standard error and leaves
// standard output to the application.
TEST_F(MainJarAcceptanceTest, HelpAndLogComeWhenAsked) {
    const std::string tool = packTool("my-tool");
    RunResult help = runProgram(command(tool, {"-qv:help"}));
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    const std::vector<std::string> shown = lines(help.out);
    ASSERT_EQ(shown.size(), 11u) << help.out;
    EXPECT_EQ(shown[0], "Options of this launcher (every other argument goes to the application):");
    EXPECT_EQ(shown[10].rfind("  -qv:help ", 0), 0u) << shown[10];

    Command logged = command(tool, {"one"});
    logged.environment["QV_LOG"] = "-";
    RunResult result = runProgram(logged);
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.out,
              "util extra\nqv.opt=<null>\nqv.env=<$(touch${IFS}pwned);*'q'\"d\">\nqv.a=<1>\n"
              "qv.b=<2>\narg=<one>\n");
    EXPECT_EQ(result.err.find("------------------\n"), 0u) << result.err;
    EXPECT_TRUE(contains(result.err, "\nMatching JVM home is " + kJdkHome + "\n")) << result.err;
}

#endif  // QV_JDK_HOME

}  // namespace

// The JDKs to try class-data archives on: the build's, and the newest of Java 25 or later in
// /usr/lib/jvm when there is one (its archives are AOT caches).
std::vector<std::string> jdksForClassData() {
    std::vector<std::string> jdks = {kJdkHome};
    for (const std::string& name : listDirectory("/usr/lib/jvm")) {
        const std::string release = readFile("/usr/lib/jvm/" + name + "/release");
        const size_t at = release.find("\nJAVA_VERSION=\"");
        if (at != std::string::npos && std::atoi(release.c_str() + at + 15) >= 25) {
            jdks.push_back("/usr/lib/jvm/" + name);
            break;
        }
    }
    return jdks;
}

// The first run writes the application's class-data archive and the second loads the
// application's classes from it; an archive the JVM refuses is dropped and written again, and
// none of it shows on the terminal.
TEST_F(MainJarAcceptanceTest, ClassDataArchiveServesTheSecondRunAndIsRebuiltWhenRefused) {
    const std::string tool = packTool("my-tool");
    const std::string shared = "app.Main source: shared objects file";
    m_environment["MY_TOOL_OPTS"] = "";
    m_environment["JAVA_OPTS"] = "-Xlog:class+load=info";
    for (const std::string& jdk : jdksForClassData()) {
        SCOPED_TRACE(jdk);
        m_environment["JAVA_HOME"] = jdk;
        m_environment["XDG_CACHE_HOME"] = makeDirectory("cache-" + jdk.substr(jdk.rfind('/') + 1));
        const std::string classes = m_environment["XDG_CACHE_HOME"] + "/qvlauncher/classes/";
        auto launch = [&] {
            RunResult result = runProgram(command(tool, {}));
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_EQ(result.err, "");
            EXPECT_TRUE(contains(result.out, "util extra\n")) << result.out;
            return result.out;
        };
        auto archive = [&] {
            for (const std::string& name : listDirectory(classes)) {
                if (name.size() > 4 && (name.substr(name.size() - 4) == ".jsa" ||
                                        name.substr(name.size() - 4) == ".aot")) {
                    return classes + name;
                }
            }
            return std::string("no archive");
        };
        EXPECT_FALSE(contains(launch(), shared));
        EXPECT_TRUE(contains(launch(), shared));
        // A broken header: the JVM runs the application without the archive, once.
        const std::string broken = archive();
        chmod(broken.c_str(), 0644);
        std::string bytes = readFile(broken);
        ASSERT_GT(bytes.size(), 4u);
        writeFile(broken, bytes.replace(0, 4, 4, '\0'));
        EXPECT_FALSE(contains(launch(), shared));
        launch();
        EXPECT_NE(readFile(archive()).substr(0, 4), std::string(4, '\0'));
        EXPECT_TRUE(contains(launch(), shared));
        // The user's own sharing option wins over the archive, which could keep the JVM from
        // starting.
        m_environment["JAVA_OPTS"] = "-Xlog:class+load=info -Xshare:off";
        EXPECT_FALSE(contains(launch(), shared));
        m_environment["JAVA_OPTS"] = "-Xlog:class+load=info";
    }
}

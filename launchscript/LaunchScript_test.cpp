#include "launchscript/LaunchScript.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/LauncherLayout.h"
#include "input/TagFile.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launchscript/TemplateValue.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

// The names in directory, sorted and joined with blanks.
std::string readDirectory(const std::string& directory) {
    std::string joined;
    for (const std::string& name : listDirectory(directory)) {
        joined += (joined.empty() ? "" : " ") + name;
    }
    return joined;
}

// The launcher runs as <dir>/app/run.bin, logs to <dir>/log.txt and makes its temporary
// directories below <dir>/tmp. The launcher and platform state changed here is restored.
class LaunchScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_appDir = m_dir + "/app";
        ASSERT_EQ(0, mkdir(m_appDir.c_str(), 0700));
        ASSERT_EQ(0, mkdir((m_dir + "/tmp").c_str(), 0700));
        char* cwd = getcwd(nullptr, 0);
        m_savedCwd = cwd;
        std::free(cwd);
        const char* javaHome = std::getenv("JAVA_HOME");
        m_hadJavaHome = javaHome != nullptr;
        m_savedJavaHome = m_hadJavaHome ? javaHome : "";
        setLauncher(m_appDir + "/run.bin");
        PlatformImpl::setSystemTempDir((m_dir + "/tmp/").c_str());
        Log::setLogFileName((m_dir + "/log.txt").c_str());
        m_jvmTags.setTagValue(g_classpathTag, "-classpath ");
        m_jvmTags.setTagValue(g_classpathSeparatorTag, ":");
        m_jvmTags.setTagValue(g_systemTag, "-D");
        m_jvmTags.setTagValue(g_systemSeparatorTag, "=");
    }

    void TearDown() override {
        ASSERT_EQ(0, chdir(m_savedCwd.c_str()));
        if (m_hadJavaHome) {
            setenv("JAVA_HOME", m_savedJavaHome.c_str(), 1);
        } else {
            unsetenv("JAVA_HOME");
        }
        PlatformImpl::resetForTest();
        Log::resetForTest();
        ASSERT_TRUE(m_temp.remove());
    }

    void setLauncher(const std::string& path) { m_context.setLauncher(path); }

    // The command expanded by a script without embedded archives, or "error: " + the message.
    std::string outcome(const char* command) {
        try {
            JVMFile jvmFile(m_jvmTags);
            return str(LaunchScript(command, true, false, m_context).resolve(jvmFile));
        } catch (const LauncherException& e) {
            return "error: " + str(e.m_message);
        }
    }

    std::string log() const { return readFile(m_dir + "/log.txt"); }

    TemporaryDirectory m_temp{"qvtest-launchscript"};
    std::string m_dir = m_temp.path();
    std::string m_appDir;
    std::string m_savedCwd;
    bool m_hadJavaHome = false;
    std::string m_savedJavaHome;
    TestLauncherContext m_context;
    TagFile m_jvmTags;
};

TEST_F(LaunchScriptTest, ExpandsFunctionsAndEnvironment) {
    setenv("QV_TEST_VALUE", "/home/me", 1);
    unsetenv("QV_TEST_UNSET");
    struct Case {
        const char* command;
        std::string expected;
    } cases[] = {
        {"%SYSTEMPROP%(\"a.b\", \"1\")", "-Da.b=1"},
        {"java %SYSTEMPROP%( \"a\" ,\n\"b\" ) -jar", "java -Da=b -jar"},
        {"%SYSTEMPROP%(\"q\", \"say \"\"hi\"\"\")", "-Dq=say \"hi\""},
        {"%SYSTEMPROP%(\"p\", \"@SYSTEM_SEPARATOR@\")", "-Dp=="},
        {"%CP%(\"x.jar\", \"y.jar\")", "-classpath x.jar:y.jar"},
        {"%CP%(\"x.jar\",)", "-classpath x.jar"},
        {"[%CP%()]", "[]"},
        {"%LAUNCHER_DIR%( )", m_appDir},
        {"%LAUNCHER_FILE%()", m_appDir + "/run.bin"},
        {"%TEMP_DIR%()", m_dir + "/tmp/"},
        {"%REPLACE%(\"/\", \"\\\", \"a/b/c\")", "a\\b\\c"},
        {"%REPLACE%(\"a\", \"aa\", \"banana\")", "baanaanaa"},
        {"%REPLACE%(\"-@SYSTEM@\", \"+\", \"x--Dy\")", "x+y"},
        {"%REPLACE%(\"\", \"x\", \"abc\")", "abc"},
        {"%IF_EXISTS%(\"SYSTEM\", \"has @SYSTEM@\")", "has -D"},
        {"[%IF_EXISTS%(\"NOPE\", \"x\")]", "[]"},
        {"100%%", "100%"},
        // A list whose last argument closes at the very end of the text ends there.
        {"%SYSTEMPROP%(\"a\",\"b\"", "-Da=b"},
        {"%APPLICATION_ARCHIVE%(\"missing.jar\")", ""},
        {"#QV_TEST_VALUE#/bin [#QV_TEST_UNSET#]", "/home/me/bin []"},
        {"a##b", "a#b"},
        {"a##b#c#", "ac#"},
        // The % pass runs first: its values go through the @ and # passes.
        {"%SYSTEMPROP%(\"h\", \"#QV_TEST_VALUE#\")", "-Dh=/home/me"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, outcome(c.command)) << c.command;
    }
    unsetenv("QV_TEST_VALUE");
}

// REPLACE over a long text with a match at nearly every byte replaced in place, moving the
// rest of the text each time: minutes for a mebibyte. The result must stay exactly the same.
TEST_F(LaunchScriptTest, ReplaceOverLongTextWithManyMatches) {
    const std::string text = std::string(300000, 'a') + "xyz" + std::string(200000, 'a');
    struct Case {
        const char* from;
        const char* to;
        std::string expected;
    } cases[] = {
        {"a", "", "xyz"},
        {"a", "b", std::string(300000, 'b') + "xyz" + std::string(200000, 'b')},
        // Matches do not overlap: "aaa" in 300,000 a's leaves none, in 200,000 leaves two.
        {"aaa", "-", std::string(100000, '-') + "xyz" + std::string(66666, '-') + "aa"},
        {"y", "@SYSTEM@", std::string(300000, 'a') + "x-Dz" + std::string(200000, 'a')},
    };
    for (const Case& c : cases) {
        std::string command =
            std::string("%REPLACE%(\"") + c.from + "\", \"" + c.to + "\", \"" + text + "\")";
        EXPECT_EQ(c.expected, outcome(command.c_str())) << c.from << " -> " << c.to;
    }
    // Growing past the bound fails as before, at the match that crosses it.
    std::string growing = std::string("%REPLACE%(\"a\", \"aaa\", \"") + text + "\")";
    EXPECT_EQ("error: Launch script error: REPLACE function result is longer than 1048576 bytes.",
              outcome(growing.c_str()));
}

TEST_F(LaunchScriptTest, ReportsErrorsWithPosition) {
    struct Case {
        const char* command;
        const char* message;
    } cases[] = {
        {"%SYSTEMPROP%(\"a.b\")", "SYSTEMPROP function requires 2 arguments."},
        {"%LAUNCHER_DIR%", "Expected left parenthesis. (near character 14)"},
        {"%CP%(x.jar)", "Expected string arg. (near character 5)"},
        {"%CP%(  x.jar)", "Expected string arg. (near character 5)"},
        {"%CP%(\"a\" \"b\")", "Expected right parenthesis. (near character 8)"},
        {"%FOO%()", "Invalid function name (FOO)."},
        {"%cp%", "Invalid function name (cp)."},
        {"50%% of %CP%()", "Invalid function name (% of )."},
        {"%REPLACE%(\"a\", \"b\")", "REPLACE function requires 3 arguments."},
        {"%RUNTIME_JAVAARGS%(\"x\")", "RUNTIME_JAVAARGS function takes no arguments."},
        {"%APPLICATION_ARCHIVE%(\"a\", \"b\")", "APPLICATION_ARCHIVE function takes 0 arguments."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::string("error: Launch script error: ") + c.message, outcome(c.command))
            << c.command;
    }
    // The partly expanded command is logged before the error leaves.
    EXPECT_NE(std::string::npos, log().find("Launch command:\n50%% of %CP%()\n")) << log();
}

TEST_F(LaunchScriptTest, ArchiveThatCallsClasspathFailsInsteadOfRecursing) {
    TagFile script;
    script.setTagValue(g_commandTag, "%CP%()");
    script.setTagValue(g_archiveTag, "%CP%()");
    JVMFile jvmFile(m_jvmTags);
    try {
        LaunchScript(script, true, m_context).resolve(jvmFile);
        ADD_FAILURE() << "an ARCHIVE that calls CP was expanded";
    } catch (const LauncherException& e) {
        EXPECT_EQ("Launch script error: CP function cannot be used inside the ARCHIVE value.",
                  str(e.m_message));
    }
}

// ENV_WORDS inserts each word of a variable as data: the shell splits nothing further and
// evaluates nothing in it, in whatever quoting the call stands. So does a value that the
// template carries sealed as it is written.
TEST_F(LaunchScriptTest, EnvironmentWordsAreSealedOneByOne) {
    setenv("QV_TEST_WORDS", " -Xmx1g  -Da=$(touch x) 'q' \"d\" ; *\n\t-Dz=1 ", 1);
    setenv("QV_TEST_EMPTY", "", 1);
    unsetenv("QV_TEST_UNSET");
    const std::string sealed = str(TemplateValue::sealPath("$HOME %CP% @DESC@ #HOME# 'q'"));
    struct Case {
        std::string command;
        std::string expected;
    } cases[] = {
        {"java %ENV_WORDS%(\"QV_TEST_WORDS\") Main",
         R"(java -Xmx1g '-Da=$(touch' 'x)' ''\''q'\''' '"d"' ';' '*' '-Dz=1' Main)"},
        {"[%ENV_WORDS%(\"QV_TEST_EMPTY\")][%ENV_WORDS%( \"QV_TEST_UNSET\" )]", "[][]"},
        {"echo \"%ENV_WORDS%(\"QV_TEST_WORDS\")\"",
         R"(echo "-Xmx1g -Da=\$(touch x) 'q' \"d\" ; * -Dz=1")"},
        {"%ENV_WORDS%()", "error: Launch script error: ENV_WORDS function requires 1 argument."},
        {"java " + sealed + " %CP%()", R"(java '$HOME %CP% @DESC@ #HOME# '\''q'\''' )"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, outcome(c.command.c_str())) << c.command;
    }
    unsetenv("QV_TEST_WORDS");
    unsetenv("QV_TEST_EMPTY");
}

TEST_F(LaunchScriptTest, RuntimeFilesBesideTheOriginalLauncher) {
    writeFile(m_appDir + "/run.ja", "-Xmx64m\n\n  -Xss1m \r\n-Dhome=@SYSTEM@");
    writeFile(m_appDir + "/run.sp", "a=1\njunk\nb=x=y\n");
    EXPECT_EQ("-Xmx64m -Xss1m -Dhome=-D", outcome("%RUNTIME_JAVAARGS%()"));
    EXPECT_EQ("-Da=1 -Db=x=y", outcome("%RUNTIME_SYSTEMPROP%()"));
    // The running launcher may be elsewhere; a dot before the last separator is no extension.
    m_context.m_launcherFile = "/elsewhere/copy.bin";
    m_context.m_originalLauncherFile = (m_appDir + "/run").c_str();
    EXPECT_EQ("-Xmx64m -Xss1m -Dhome=-D", outcome("%RUNTIME_JAVAARGS%()"));
    ASSERT_EQ(0, mkdir((m_dir + "/app.d").c_str(), 0700));
    writeFile(m_dir + "/app.d/run.ja", "-Dright");
    writeFile(m_dir + "/app.ja", "-Dwrong");
    m_context.m_originalLauncherFile = (m_dir + "/app.d/run").c_str();
    EXPECT_EQ("-Dright", outcome("%RUNTIME_JAVAARGS%()"));
}

TEST_F(LaunchScriptTest, ClasspathCollectsEveryPartInOrder) {
    writeFile(m_appDir + "/run.cp1", "first.jar\n");
    writeFile(m_appDir + "/run.cp", "mid1.jar\r\nmid2.jar\n");
    writeFile(m_appDir + "/run.cp2", "\nlast.jar");
    m_jvmTags.setTagValue(g_jvmClasspathTag, "jvm.jar");
    TagFile script;
    script.setTagValue(g_commandTag, "java %CP%(\"arg.jar\") Main");
    script.setTagValue(g_archiveTag, "%LAUNCHER_DIR%()/app.jar");
    JVMFile jvmFile(m_jvmTags);
    EXPECT_EQ("java -classpath first.jar:jvm.jar:mid1.jar:mid2.jar:arg.jar:" + m_appDir +
                  "/app.jar:last.jar Main",
              str(LaunchScript(script, true, m_context).resolve(jvmFile)));
}

TEST_F(LaunchScriptTest, ClasspathInEnvironmentVariableIsTheChilds) {
    unsetenv("QV_TEST_CP");
    setenv("JAVA_HOME", "/users/jdk", 1);
    m_jvmTags.setTagValue(g_jvmHomeTag, "/opt/jdk");
    m_jvmTags.setTagValue(g_useCpEnvVarTag, "1");
    m_jvmTags.setTagValue(g_cpEnvVarTag, "QV_TEST_CP");
    EXPECT_EQ("java  Main", outcome("java %CP%(\"x.jar\") Main"));
    EXPECT_NE(std::string::npos, log().find("Set env var QV_TEST_CP to x.jar\n")) << log();
    // Entries lose the one pair of quotes that a command line would have needed; the child
    // gets the variable and JAVA_HOME, and a # reference in the same command reads it back.
    JVMFile jvmFile(m_jvmTags);
    LaunchScript script(
        "%CP%(\"\"\"a b.jar\"\"\", \"c.jar\")echo \"[$QV_TEST_CP][$JAVA_HOME]\" "
        "\"#QV_TEST_CP#\"",
        true, false, m_context);
    script.execute(jvmFile, nullptr, false);
    EXPECT_EQ("[a b.jar:c.jar][/opt/jdk] a b.jar:c.jar\n", str(script.getStandardOutput()));
    // The launcher's own environment is as the user set it.
    EXPECT_EQ(nullptr, std::getenv("QV_TEST_CP"));
    EXPECT_STREQ("/users/jdk", std::getenv("JAVA_HOME"));

    m_jvmTags.setTagValue(g_cpEnvVarTag, "");
    EXPECT_EQ("", outcome("%CP%(\"y.jar\")"));
    EXPECT_NE(std::string::npos, log().find("ERROR: If USE_CP_ENV_VAR is set to 1 in the jvm "
                                            "file, then the jvm file should also define "
                                            "CP_ENV_VAR."));
}

// Loading an index changes the launcher's state for the rest of the process, so the embedded
// archives are looked at in a child process.
TEST_F(LaunchScriptTest, ClasspathExtractsEmbeddedArchives) {
    qvtest::packTestLauncher(m_dir, m_appDir + "/run.bin",
                             {{FILE_TYPE_CLASSPATH, "cp1.jar", "1"},
                              {FILE_TYPE_APPLICATION, "app.jar", "app"},
                              {FILE_TYPE_CLASSPATH, "cp2.jar", "2"}});

    auto checkInChild = [&]() {
        LauncherInputFiles files(m_context);
        files.load(false);
        m_context.m_inputFiles = &files;
        TagFile tags;
        tags.setTagValue(g_commandTag, "%CP%(\"a.jar\")");
        JVMFile jvmFile(m_jvmTags);
        LaunchScript script(tags, true, m_context);
        const std::string first = str(script.resolve(jvmFile));
        std::fprintf(stderr, "classpath: %s\n", first.c_str());
        // "-classpath a.jar:<new directory>/cp1.jar:<new directory>/cp2.jar"
        const std::string::size_type start = std::string("-classpath a.jar:").size();
        const std::string directory = first.substr(start, first.find("/cp1.jar") - start);
        bool ok = directory.compare(0, m_dir.size() + 8, m_dir + "/tmp/qvj") == 0 &&
                  first == "-classpath a.jar:" + directory + "/cp1.jar:" + directory + "/cp2.jar" &&
                  readFile(directory + "/cp1.jar") == "1" &&
                  readFile(directory + "/cp2.jar") == "2" &&
                  str(script.resolve(jvmFile)) != first &&
                  str(LaunchScript("%CP%()", true, false, m_context).resolve(jvmFile)).empty();
        std::_Exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(checkInChild(), ::testing::ExitedWithCode(0), "classpath: ");
}

// Regression: every class path made a temporary directory, even for a launcher without
// class-path archives, and the run then had to remove it again.
TEST_F(LaunchScriptTest, ClasspathWithoutEmbeddedArchivesMakesNoDirectory) {
    qvtest::packTestLauncher(m_dir, m_appDir + "/run.bin",
                             {{FILE_TYPE_APPLICATION, "app.jar", "app"}});

    auto checkInChild = [&]() {
        LauncherInputFiles files(m_context);
        files.load(false);
        m_context.m_inputFiles = &files;
        TagFile tags;
        tags.setTagValue(g_commandTag, "%CP%(\"a.jar\")");
        JVMFile jvmFile(m_jvmTags);
        LaunchScript script(tags, true, m_context);
        const std::string classpath = str(script.resolve(jvmFile));
        const std::string made = readDirectory(m_dir + "/tmp");
        std::fprintf(stderr, "classpath: %s, temporary entries: [%s]\n", classpath.c_str(),
                     made.c_str());
        std::_Exit(classpath == "-classpath a.jar" && made.empty() ? 0 : 1);
    };
    EXPECT_EXIT(checkInChild(), ::testing::ExitedWithCode(0), "classpath: ");
}

TEST_F(LaunchScriptTest, ExecutePassesArgumentsUnchangedInLauncherDirectory) {
    writeFile(m_appDir + "/args.sh", "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n");
    const char* given[] = {"a b",           "say \"hi\"", "$(touch pwned)",
                           "`touch pwned`", "C:\\dir",    "price$5"};
    StringDeque arguments;
    for (const char* argument : given) {
        arguments.push_back(argument);
    }
    m_jvmTags.setTagValue(g_jvmHomeTag, "/opt/jdk");
    JVMFile jvmFile(m_jvmTags);
    LaunchScript script("pwd; echo \"$JAVA_HOME\" >&2; /bin/sh args.sh", true, false, m_context);
    script.execute(jvmFile, &arguments, false);

    std::string output = m_appDir + "\n";
    for (const char* argument : given) {
        output += std::string("<") + argument + ">\n";
    }
    EXPECT_EQ(output, str(script.getStandardOutput()));
    EXPECT_EQ("/opt/jdk\n", str(script.getStandardError()));
    EXPECT_NE(0, access((m_appDir + "/pwned").c_str(), F_OK));
    EXPECT_EQ(
        "------------------\n"
        "Executing launch script command: pwd; echo \"$JAVA_HOME\" >&2; /bin/sh args.sh \"a b\" "
        "\"say \\\"hi\\\"\" \"\\$(touch pwned)\" \"\\`touch pwned\\`\" \"C:\\\\dir\" "
        "\"price\\$5\" in working directory " +
            m_appDir + "\nOutput from the launch script execution\nStdOut:\n" + output +
            "\nErrOut:\n/opt/jdk\n\n",
        log());

    // A second run appends its output to the first.
    script.execute(jvmFile, nullptr, false);
    EXPECT_EQ(output + m_appDir + "\n", str(script.getStandardOutput()));
    EXPECT_EQ("/opt/jdk\n/opt/jdk\n", str(script.getStandardError()));
}

TEST_F(LaunchScriptTest, ExecuteInCurrentDirectoryAndWithConsole) {
    ASSERT_EQ(0, chdir(m_dir.c_str()));
    TagFile tags;
    tags.setTagValue(g_commandTag, "pwd; echo \"[$JAVA_HOME]\"");
    tags.setTagValue(g_autoSetWorkingDirTag, "0");
    TagFile noHome;
    JVMFile jvmFile(noHome);
    LaunchScript script(tags, true, m_context);
    script.execute(jvmFile, nullptr, false);
    EXPECT_EQ(m_dir + "\n[]\n", str(script.getStandardOutput()));
    EXPECT_NE(std::string::npos, log().find("\" in current working directory\n")) << log();

    // A console, asked for by the script or by the caller, turns capturing off.
    tags.setTagValue(g_commandTag, "echo shown > console.txt");
    tags.setTagValue(g_displayConsoleTag, "1");
    LaunchScript withConsole(tags, true, m_context);
    withConsole.execute(jvmFile, nullptr, false);
    LaunchScript callerConsole("echo shown > caller.txt", true, false, m_context);
    callerConsole.execute(jvmFile, nullptr, true);
    EXPECT_EQ("shown\n", readFile(m_dir + "/console.txt"));
    EXPECT_EQ("shown\n", readFile(m_appDir + "/caller.txt"));
    EXPECT_TRUE(withConsole.getStandardOutput().empty());
    EXPECT_TRUE(callerConsole.getStandardOutput().empty());
    const std::string::size_type logged = log().find("Output from the launch script execution");
    EXPECT_NE(std::string::npos, logged);
    EXPECT_EQ(std::string::npos, log().find("Output from the launch", logged + 1)) << log();
}

}  // namespace

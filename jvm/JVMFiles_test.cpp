// Verification and search of JVMs against fake JVM homes made in a temporary directory, and
// against the machine's real JDK when there is one.
#include "jvm/JVMFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "input/TagFile.h"
#include "launcher/Launcher.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/TestSupport.h"

void setSearchRootsForTesting(const StringDeque& roots);

namespace {

using namespace qvtest;

class JVMTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_log = m_dir + "/test.log";
        ASSERT_EQ(0, mkdir((m_dir + "/tmp").c_str(), 0700));
        PlatformImpl::setSystemTempDir((m_dir + "/tmp/").c_str());
        unsetenv("TMPDIR");
        Log::setLogFileName(m_log.c_str());
        PlatformImpl::setSilent(true);
    }
    void TearDown() override {
        Log::setLogFileName("");
        PlatformImpl::setSilent(false);
        setSearchRootsForTesting(StringDeque());
        PlatformImpl::resetForTest();
        ASSERT_TRUE(m_temp.remove());
    }

    // A JVM home whose bin/java runs script (a /bin/sh body) and records its arguments in
    // <home>/args.
    std::string makeHome(const std::string& name, const std::string& script) {
        std::string home = m_dir + "/" + name;
        EXPECT_EQ(0, std::system(("mkdir -p '" + home + "/bin'").c_str()));
        std::string java = home + "/bin/java";
        writeFile(java, "#!/bin/sh\necho \"$@\" > '" + home + "/args'\n" + script + "\n");
        EXPECT_EQ(0, chmod(java.c_str(), 0755));
        return home;
    }
    // A home that answers the verify protocol with the given value lines.
    std::string makeAnsweringHome(const std::string& name, const std::string& values) {
        return makeHome(name, "echo 1739021872\nprintf '" + values + "'");
    }

    // A jvm file loaded from text; the fixture keeps its tag file, the caller owns the result.
    JVMFile* loadJVMFile(const std::string& name, const std::string& text) {
        std::string path = m_dir + "/" + name;
        writeFile(path, text);
        m_tagFiles.emplace_back(new TagFile(SString(path.c_str())));
        return new JVMFile(*m_tagFiles.back());
    }

    std::string log() const { return readFile(m_log); }

    TemporaryDirectory m_temp{"qvtest-jvm"};
    std::string m_dir = m_temp.path();
    std::string m_log;
    TestLauncherContext m_context;
    std::vector<std::unique_ptr<TagFile>> m_tagFiles;
};

const char kVerifyJar[] = "\"/nonexistent/verify.jar\"";
const char kVerifyClass[] = "\"Verify\"";
// How a jvm file tells the launch script to pass a class path to java.
const char kVerifyOptions[] = "-XX:+IgnoreUnrecognizedVMOptions -XX:+UseSerialGC -XX:-UsePerfData";
const char kClasspathTags[] = "CLASSPATH: \"-classpath \"\nCLASSPATH_SEPARATOR: :\n";

TEST(VerifyJVMOutputTest, MagicLineThenValues) {
    struct Case {
        const char* output;
        std::vector<std::string> expected;
        bool result;
    } cases[] = {
        {"1739021872\n1.3.1\n", {"1.3..."}, true},
        {"1739021872\n1.3\n", {"1.3..."}, true},
        {"1739021872\n1.2.2\n", {"1.3..."}, false},
        {"1739021872\n1.\n", {"1.3..."}, false},
        {"Picked up _JAVA_OPTIONS\r\n1739021872\r\n17\r\nAcme\n", {"17", "Acme"}, true},
        {"1739021872\n  17  \n", {"17"}, true},
        {"1739021872\n17\n", {"17", "Acme"}, true},
        {"1739021872\n", {"17"}, true},
        {"1739021872\n17.0\n", {"17"}, false},
        {"1739021872\nacme\n", {"Acme"}, false},
        {"17\nAcme\n", {"17"}, false},
        {"", {}, false},
        {" 1739021872x\n17\n", {"17"}, false},
    };
    for (const Case& c : cases) {
        StringPairPtrDeque properties;
        for (const std::string& value : c.expected) {
            properties.push_back(new StringPair("p", value.c_str()));
        }
        EXPECT_EQ(c.result, JVMFile::verifyJVMOutput(c.output, properties)) << c.output;
    }
}

// The execution-mode options change what java.vm.info and sun.management.compiler report: they
// are left out when either is asked.
TEST_F(JVMTest, VerifyRunIsInterpretedUnlessTheExecutionModeIsAsked) {
    const std::string home = makeAnsweringHome("h", "x\\n");
    const struct {
        const char* property;
        std::string args;
    } cases[] = {
        {"java.vm.info", std::string(kVerifyOptions) + " -classpath v.jar V java.vm.info\n"},
        {"sun.management.compiler",
         std::string(kVerifyOptions) + " -classpath v.jar V sun.management.compiler\n"},
        {"java.vm.name", std::string(kVerifyOptions) +
                             " -XX:TieredStopAtLevel=1 -Xint -classpath v.jar V java.vm.name\n"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<JVMFile> file(
            loadJVMFile("m.jvm", std::string(kClasspathTags) +
                                     "JVM_EXE: bin/java\nJVM_PROPERTIES: " + c.property + "=x\n"));
        std::unique_ptr<JVMMatch> match(file->verify(home.c_str(), VerifyClass("\"v.jar\"", "V")));
        EXPECT_NE(nullptr, match) << c.property;
        EXPECT_EQ(c.args, readFile(home + "/args")) << c.property;
    }
}

TEST_F(JVMTest, VerifyOneCandidate) {
    JVMFile* file =
        loadJVMFile("one.jvm", "DESC: Test JVM\nJVM_EXE: bin/java\n" + std::string(kClasspathTags) +
                                   "JVM_PROPERTIES:\n  java.version=1.3...\n  broken\n"
                                   "  java.vendor = Acme \n/:\n");
    std::unique_ptr<JVMFile> owner(file);
    std::string good = makeAnsweringHome("good", "1.3.1\\nAcme\\n");
    std::string old = makeAnsweringHome("old", "1.2.2\\nAcme\\n");
    std::string silent = makeHome("silent", "echo no magic here");

    std::unique_ptr<JVMMatch> match(
        file->verify(good.c_str(), VerifyClass(kVerifyJar, kVerifyClass)));
    ASSERT_NE(nullptr, match);
    EXPECT_EQ(good, str(match->getJVMHome()));
    // The setting without "=" was skipped: the verify class got two property names.
    EXPECT_EQ(std::string(kVerifyOptions) +
                  " -XX:TieredStopAtLevel=1 -Xint -classpath /nonexistent/verify.jar Verify "
                  "java.version java.vendor\n",
              readFile(good + "/args"));
    EXPECT_NE(std::string::npos, log().find("WARNING: Invalid JVM_PROPERTIES setting (broken) in "
                                            "JVM File " +
                                            m_dir + "/one.jvm"));
    EXPECT_NE(std::string::npos,
              log().find("Verifying JVM at " + good + "/bin/java\n   for JVM: Test JVM\n"));
    EXPECT_NE(std::string::npos, log().find("Found matching JVM at " + good + "\n"));

    EXPECT_EQ(nullptr, file->verify(old.c_str(), VerifyClass(kVerifyJar, kVerifyClass)));
    EXPECT_EQ(nullptr, file->verify(silent.c_str(), VerifyClass(kVerifyJar, kVerifyClass)));
    EXPECT_NE(std::string::npos, log().find("ERROR: Invalid magic value: no magic here\n"));

    std::string missing = m_dir + "/missing";
    EXPECT_EQ(nullptr, file->verify(missing.c_str(), VerifyClass(kVerifyJar, kVerifyClass)));
    EXPECT_NE(std::string::npos, log().find(missing + "/bin/java does not exist\n"));
    // Verification leaves the last candidate in JVM_HOME.
    EXPECT_EQ(silent, str(file->getTagValue("JVM_HOME")));
}

TEST_F(JVMTest, MatchWritesItsOwnJVMFile) {
    JVMFile* file = loadJVMFile("w.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: a=1\n");
    std::unique_ptr<JVMFile> owner(file);
    std::string home = makeAnsweringHome("home", "1\\n");
    std::unique_ptr<JVMMatch> match(
        file->verify(home.c_str(), VerifyClass(kVerifyJar, kVerifyClass)));
    ASSERT_NE(nullptr, match);
    SString written = match->writeNewJVMFile();
    TagFile reread(written);
    EXPECT_EQ(home, str(reread.getTagValue("JVM_HOME", 0)));
    EXPECT_EQ(str(written), str(reread.getTagValue("JVM_FILE", 0)));
    EXPECT_EQ("0", str(reread.getTagValue("JVM_TEMP", 0)));
    EXPECT_EQ("a=1", str(reread.getTagValue("JVM_PROPERTIES", 0)));
    EXPECT_EQ(0u, str(written).find(m_dir + "/tmp/qvj"));
}

TEST_F(JVMTest, MissingPropertiesFindNothing) {
    JVMFile* file = loadJVMFile("noprops.jvm", "JVM_EXE: bin/java\nPATH_HINT: /usr\n");
    std::unique_ptr<JVMFile> owner(file);
    EXPECT_EQ(nullptr, file->verify(VerifyClass(kVerifyJar, kVerifyClass)));
    EXPECT_EQ(nullptr, file->verifyWithPathHints(VerifyClass(kVerifyJar, kVerifyClass)));
    EXPECT_EQ(nullptr, file->verifyWithPlatformHints(VerifyClass(kVerifyJar, kVerifyClass)));
    std::string warning = "WARNING: Unable to verify " + m_dir +
                          "/noprops.jvm because the JVM_PROPERTIES tag was not specified.\n";
    std::string text = log();
    size_t first = text.find(warning);
    ASSERT_NE(std::string::npos, first);
    size_t second = text.find(warning, first + 1);
    ASSERT_NE(std::string::npos, second);
    EXPECT_NE(std::string::npos, text.find(warning, second + 1));
}

TEST_F(JVMTest, PathHintsWithAndWithoutLeadingSeparator) {
    std::string home = makeAnsweringHome("hinted", "ok\\n");
    std::string relative = home.substr(1);
    JVMFile* file = loadJVMFile("hints.jvm",
                                "JVM_EXE: bin/java\nJVM_PROPERTIES: p=no\n"
                                "PATH_HINT:\n  " +
                                    home + "\n  " + relative + "\n/:\n");
    std::unique_ptr<JVMFile> owner(file);
    EXPECT_EQ(nullptr, file->verifyWithPathHints(VerifyClass(kVerifyJar, kVerifyClass)));
    std::string checking = "Checking path hint " + home + "\n";
    std::string text = log();
    size_t first = text.find(checking);
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, text.find(checking, first + 1));
}

TEST_F(JVMTest, UnquotedVerifyClassPathIsALaunchScriptError) {
    JVMFile* file = loadJVMFile("q.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: p=1\n");
    std::unique_ptr<JVMFile> owner(file);
    std::string home = makeAnsweringHome("h", "1\\n");
    try {
        file->verify(home.c_str(), VerifyClass("/no/quotes.jar", "Verify"));
        FAIL() << "an unquoted class path must fail";
    } catch (const LauncherException& e) {
        EXPECT_EQ(0u, str(e.m_message).find("Launch script error: Expected string arg."))
            << str(e.m_message);
        EXPECT_NE(std::string::npos, str(e.m_message).find("(near character ")) << str(e.m_message);
    }
}

TEST_F(JVMTest, SearchOrder) {
    std::string first = makeAnsweringHome("first", "1\\n");
    std::string second = makeAnsweringHome("second", "2\\n");
    JVMFiles files(m_context);
    files.setVerifyClass(kVerifyJar, kVerifyClass);
    files.addJVMFile(loadJVMFile("1.jvm",
                                 "DESC: One\nJVM_EXE: bin/java\nJVM_PROPERTIES: v=1\n"
                                 "PATH_HINT:\n  " +
                                     second + "\n  " + first + "\n/:\n"));
    files.addJVMFile(loadJVMFile("2.jvm",
                                 "DESC: Two\nJVM_EXE: bin/java\nJVM_PROPERTIES: v=2\n"
                                 "PATH_HINT: " +
                                     second + "\n"));

    // Hints: the first jvm file wins with its second hint, though the second file's hint is good.
    JVMMatchPtrDeque matches;
    files.search(matches);
    ASSERT_EQ(1, matches.size());
    EXPECT_EQ(first, str(matches.at(0)->getJVMHome()));
    EXPECT_EQ(&files.getJVMFile(0)->getTagFile(), &matches.at(0)->getTagFile());

    // The user's home beats every hint, and may satisfy a later jvm file.
    m_context.m_userJavaHome = second.c_str();
    JVMMatchPtrDeque userMatches;
    files.search(userMatches);
    ASSERT_EQ(1, userMatches.size());
    EXPECT_EQ(second, str(userMatches.at(0)->getJVMHome()));
    EXPECT_EQ(&files.getJVMFile(1)->getTagFile(), &userMatches.at(0)->getTagFile());

    EXPECT_THROW(files.getJVMFile(-1), LauncherException);
    EXPECT_THROW(files.getJVMFile(2), LauncherException);
}

TEST_F(JVMTest, SearchAllOnAJVMFileEndsTheHintLoopAndWalksTheDisk) {
    std::string tree = m_dir + "/tree";
    std::string onDisk = makeAnsweringHome("tree/opt/jdk", "2\\n");
    std::string hinted = makeAnsweringHome("hinted", "2\\n");
    JVMFiles files(m_context);
    files.setVerifyClass(kVerifyJar, kVerifyClass);
    files.addJVMFile(loadJVMFile("1.jvm",
                                 "DESC: One\nJVM_EXE: bin/java\nJVM_PROPERTIES: v=1\n"
                                 "SEARCH_ALL: 1\nPATH_HINT: /nonexistent\n"));
    files.addJVMFile(loadJVMFile("2.jvm",
                                 "DESC: Two\nJVM_EXE: bin/java\nJVM_PROPERTIES: v=2\n"
                                 "PATH_HINT: " +
                                     hinted + "\n"));
    StringDeque roots;
    roots.push_back(tree.c_str());
    setSearchRootsForTesting(roots);

    JVMMatchPtrDeque matches;
    files.search(matches);
    // The second file's hint was never tried; the walk found a place the second file accepts.
    EXPECT_EQ(std::string::npos, log().find("Searching for Two using path hints"));
    EXPECT_NE(std::string::npos, log().find("Beginning exhaustive search"));
    ASSERT_EQ(1, matches.size());
    EXPECT_EQ(onDisk, str(matches.at(0)->getJVMHome()));
}

TEST_F(JVMTest, ExhaustiveSearchForOneAndForAll) {
    std::string tree = m_dir + "/tree";
    makeAnsweringHome("tree/a/jdk1", "1\\n");
    makeAnsweringHome("tree/b/jdk2", "2\\n");
    makeAnsweringHome("tree/c/jdk3", "1\\n");
    writeFile(tree + "/a/xjava", "not a candidate");
    StringDeque roots;
    roots.push_back(tree.c_str());
    setSearchRootsForTesting(roots);

    JVMFiles files(m_context);
    files.setVerifyClass(kVerifyJar, kVerifyClass);
    files.addJVMFile(loadJVMFile("1.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: v=1\n"));
    files.addJVMFile(loadJVMFile("2.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: v=2\n"));
    JVMMatchPtrDeque all;
    files.searchAll(all, false);
    // Both jvm files share bin/java: every place is a candidate for both and matches the one
    // whose value it reports.
    std::vector<std::string> homes;
    for (long i = 0; i < all.size(); ++i) {
        homes.push_back(str(all.at(i)->getJVMHome()));
    }
    std::sort(homes.begin(), homes.end());
    EXPECT_EQ((std::vector<std::string>{tree + "/a/jdk1", tree + "/b/jdk2", tree + "/c/jdk3"}),
              homes);

    // Looking for one: every place fails the first jvm file during the walk, and the one that
    // suits the second is verified after it.
    JVMFiles one(m_context);
    one.setVerifyClass(kVerifyJar, kVerifyClass);
    one.addJVMFile(loadJVMFile("3.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: v=3\n"));
    one.addJVMFile(loadJVMFile("4.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: v=2\n"));
    JVMMatchPtrDeque single;
    one.searchAll(single, true);
    ASSERT_EQ(1, single.size());
    EXPECT_EQ(tree + "/b/jdk2", str(single.at(0)->getJVMHome()));
    EXPECT_EQ(&one.getJVMFile(1)->getTagFile(), &single.at(0)->getTagFile());
}

TEST_F(JVMTest, DiskWalkSkipsCandidatesOthersCouldHavePlanted) {
    std::string tree = m_dir + "/tree";
    std::string marker = m_dir + "/planted-ran";
    makeHome("tree/open/evil", "touch '" + marker + "'\necho 1739021872\necho 1");
    ASSERT_EQ(0, chmod((tree + "/open").c_str(), 0777));
    std::string safe = makeAnsweringHome("tree/safe/jdk", "1\\n");
    StringDeque roots;
    roots.push_back(tree.c_str());
    setSearchRootsForTesting(roots);

    JVMFiles files(m_context);
    files.setVerifyClass(kVerifyJar, kVerifyClass);
    files.addJVMFile(loadJVMFile("1.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: v=1\n"));
    JVMMatchPtrDeque all;
    files.searchAll(all, false);
    ASSERT_EQ(1, all.size());
    EXPECT_EQ(safe, str(all.at(0)->getJVMHome()));
    struct stat info;
    EXPECT_NE(0, stat(marker.c_str(), &info)) << "the planted java ran";
    EXPECT_NE(std::string::npos, log().find("WARNING: Skipping " + tree +
                                            "/open/evil/bin/java found on the disk: " + tree +
                                            "/open is writable by group or others"))
        << log();

    // A home chosen explicitly is not filtered.
    m_context.m_userJavaHome = (tree + "/open/evil").c_str();
    JVMMatchPtrDeque chosen;
    files.search(chosen);
    EXPECT_EQ(0, stat(marker.c_str(), &info));
}

// A java that another user owns, even in a tree nobody else may write to, is theirs to change:
// the walk skips it, without running it, and says why.
TEST_F(JVMTest, DiskWalkSkipsAJavaOfAnotherUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    std::string marker = m_dir + "/theirs-ran";
    std::string theirs = makeHome("tree/theirs", "touch '" + marker + "'\necho 1739021872\necho 1");
    ASSERT_EQ(0, chown((theirs + "/bin/java").c_str(), 65534, 65534));
    StringDeque roots;
    roots.push_back((m_dir + "/tree").c_str());
    setSearchRootsForTesting(roots);

    JVMFiles files(m_context);
    files.setVerifyClass(kVerifyJar, kVerifyClass);
    files.addJVMFile(loadJVMFile("1.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: v=1\n"));
    JVMMatchPtrDeque all;
    files.searchAll(all, false);
    EXPECT_EQ(0, all.size());
    struct stat info;
    EXPECT_NE(0, stat(marker.c_str(), &info)) << "their java ran";
    EXPECT_TRUE(contains(log(), "WARNING: Skipping " + theirs + "/bin/java found on the disk: " +
                                    theirs + "/bin/java belongs to another user (uid 65534)"))
        << log();
}

TEST_F(JVMTest, RangesAndEnvironmentHints) {
    std::string home = makeAnsweringHome("ranged", "17.0.15\\n");
    setenv("QV_TEST_JDK_HOME", home.c_str(), 1);
    unsetenv("QV_TEST_UNSET_HOME");
    JVMFile* file = loadJVMFile("r.jvm",
                                "JVM_EXE: bin/java\nJVM_PROPERTIES: java.version=[11,)\n"
                                "PATH_HINT:\n  #QV_TEST_UNSET_HOME#\n  #QV_TEST_JDK_HOME#\n/:\n");
    std::unique_ptr<JVMFile> owner(file);
    std::unique_ptr<JVMMatch> match(
        file->verifyWithPathHints(VerifyClass(kVerifyJar, kVerifyClass)));
    ASSERT_NE(nullptr, match) << log();
    EXPECT_EQ(home, str(match->getJVMHome()));
    // The unset reference named no place: exactly one hint was checked.
    std::string text = log();
    size_t first = text.find("Checking path hint ");
    ASSERT_NE(std::string::npos, first);
    EXPECT_EQ(std::string::npos, text.find("Checking path hint ", first + 1));

    // A value that looks like a range but is none is compared as text, with a warning.
    JVMFile* broken =
        loadJVMFile("b.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: java.version=[x,)\n");
    std::unique_ptr<JVMFile> brokenOwner(broken);
    EXPECT_EQ(nullptr, broken->verify(home.c_str(), VerifyClass(kVerifyJar, kVerifyClass)));
    EXPECT_NE(std::string::npos,
              log().find("WARNING: The expected value [x,) is not a valid version range; it is "
                         "compared as text."));
    unsetenv("QV_TEST_JDK_HOME");
}

TEST_F(JVMTest, FailedSearchLogsEveryPlaceTried) {
    std::string old = makeAnsweringHome("old", "1.6.0\\n");
    std::string silent = makeHome("silent", "echo nothing");
    JVMFiles files(m_context);
    files.setVerifyClass(kVerifyJar, kVerifyClass);
    files.addJVMFile(loadJVMFile("s.jvm",
                                 "JVM_EXE: bin/java\nJVM_PROPERTIES: java.version=[1.8,)\n"
                                 "PATH_HINT:\n  " +
                                     old + "\n  " + silent + "\n  " + m_dir + "/none\n/:\n"));
    JVMMatchPtrDeque matches;
    files.search(matches);
    EXPECT_EQ(0, matches.size());
    std::string jvmFile = m_dir + "/s.jvm";
    EXPECT_NE(std::string::npos,
              log().find("WARNING: No matching JVM was found. Places tried:\n  " + old +
                         "/bin/java (" + jvmFile + "): java.version is 1.6.0, expected [1.8,)\n  " +
                         silent + "/bin/java (" + jvmFile +
                         "): no magic line in the verify output (last line: nothing)\n  " + m_dir +
                         "/none/bin/java (" + jvmFile + "): the executable does not exist\n"))
        << log();
}

// The value of one system property as the JVM at javaHome reports it itself.
std::string javaProperty(const std::string& javaHome, const std::string& name) {
    std::string command = "'" + javaHome +
                          "/bin/java' -XshowSettings:properties -version 2>&1 | "
                          "sed -n 's/^ *" +
                          name + " = //p'";
    FILE* pipe = popen(command.c_str(), "r");
    char line[1024] = {0};
    bool got = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    if (pipe != nullptr) {
        pclose(pipe);
    }
    std::string value = got ? line : "";
    if (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

TEST_F(JVMTest, RealJDKIsVerifiedWithTheRealVerifyClass) {
    std::string verifyJar = std::string(QV_BUILD_DIR) + "/verify.jar";
    struct stat info;
    if (stat(verifyJar.c_str(), &info) != 0) {
        GTEST_SKIP() << "no verify.jar in the build (no JDK at build time)";
    }
    std::string javaHome;
    const char* fromEnv = std::getenv("JAVA_HOME");
    if (fromEnv != nullptr && stat((std::string(fromEnv) + "/bin/java").c_str(), &info) == 0) {
        javaHome = fromEnv;
    } else {
        FILE* pipe = popen("ls -d /usr/lib/jvm/*/bin/java 2>/dev/null | head -1", "r");
        char line[4096] = {0};
        if (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
            javaHome = std::string(line).substr(0, std::string(line).find("/bin/java"));
        }
        if (pipe != nullptr) {
            pclose(pipe);
        }
    }
    if (javaHome.empty()) {
        GTEST_SKIP() << "no JDK found through JAVA_HOME or /usr/lib/jvm";
    }
    std::string expectedVersion = javaProperty(javaHome, "java\\.version");
    std::string expectedVendor = javaProperty(javaHome, "java\\.vendor");
    ASSERT_FALSE(expectedVersion.empty());
    ASSERT_FALSE(expectedVendor.empty());

    JVMFile* file = loadJVMFile(
        "real.jvm", std::string(kClasspathTags) +
                        "JVM_EXE: bin/java\nJVM_PROPERTIES:\n  java.version=" + expectedVersion +
                        "\n  java.vendor=" + expectedVendor + "\n/:\n");
    std::unique_ptr<JVMFile> owner(file);
    std::unique_ptr<JVMMatch> match(file->verify(
        javaHome.c_str(), VerifyClass(("\"" + verifyJar + "\"").c_str(), kVerifyClass)));
    EXPECT_NE(nullptr, match) << log();

    JVMFile* wrong =
        loadJVMFile("wrong.jvm", "JVM_EXE: bin/java\nJVM_PROPERTIES: java.version=0.9\n");
    std::unique_ptr<JVMFile> wrongOwner(wrong);
    EXPECT_EQ(nullptr, wrong->verify(javaHome.c_str(),
                                     VerifyClass(("\"" + verifyJar + "\"").c_str(), kVerifyClass)));
}

}  // namespace

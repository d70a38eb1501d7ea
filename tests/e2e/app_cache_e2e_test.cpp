// Black-box tests of the application cache: launchers whose launch script asks for it
// (APP_CACHE) keep their embedded jars in the per-user cache, shared by content, checked before
// use and kept under a size limit. The fake JVM, started as the application, prints each class
// path entry it got, one per line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/PackedLauncherTest.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace qvtest;

class AppCacheE2ETest : public PackedLauncherTest {
protected:
    AppCacheE2ETest() : PackedLauncherTest("qvtest-appcache") {}

    void SetUp() override {
        PackedLauncherTest::SetUp();
        const std::string home = makeDirectory("jdk");
        mkdir((home + "/bin").c_str(), 0755);
        writeFile(home + "/" + m_exe,
                  std::string("#!/bin/sh\n") +
                      "if [ \"$1\" = app ]; then\n"
                      "  for e in \"$TMPDIR\"/qvj*; do [ -d \"$e\" ] && echo extracted; done\n"
                      "  IFS=:; for e in $3; do echo \"$e\"; done; exit 0\n"
                      "fi\n"
                      "echo " +
                      kMagicLine + "\necho 1.8.0_7\n",
                  0755);
        writeFile(path("fake.jvm"), "DESC: Fake\nJVM_EXE: " + m_exe +
                                        "\nJVM_PROPERTIES: java.version=1.8...\nPATH_HINT: " +
                                        home + "\nCLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n");
        writeFile(path("launch.tag"),
                  "DESC: Fake app\nAPP_CACHE: 1\nDISPLAY_CONSOLE: 1\nCOMMAND: \"\"\"@JVM_HOME@/"
                  "@JVM_EXE@\"\" app %CP%()\"\n");
        writeFile(path("shared.jar"), patternBytes(300 * 1024, 1));
        writeFile(path("one.jar"), patternBytes(1000, 2));
        writeFile(path("two.jar"), patternBytes(1000, 3));
    }

    // A launcher carrying the named jars of the test directory as class-path archives.
    std::string packLauncher(const std::string& name, const std::vector<std::string>& jars) {
        std::vector<std::pair<std::string, std::string>> files = {
            {"--instructions", writeInstructions("run.tag", {"FIND_JVM 0 0", "LAUNCH @S2@ 0"})},
            {"--jvm", path("fake.jvm")},
            {"--launch-script", path("launch.tag")}};
        for (const std::string& jar : jars) {
            files.emplace_back("--classpath", path(jar));
        }
        return pack(name, files);
    }

    // The class path entries the application got, after the title line.
    std::vector<std::string> launch(const std::string& launcher) const {
        RunResult result = runProgram(command(launcher, {}));
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<std::string> entries = lines(result.out);
        EXPECT_FALSE(entries.empty());
        entries.erase(entries.begin());
        return entries;
    }

    std::string cached(const std::string& entry) const {
        return entry.rfind(path("cache/qvlauncher/app/"), 0) == 0 ? entry : "not cached: " + entry;
    }

    static struct stat statOf(const std::string& file) {
        struct stat info {};
        EXPECT_EQ(lstat(file.c_str(), &info), 0) << file;
        return info;
    }

    // The entry's file holds the bytes of source, as the user's own read-only regular file.
    void expectIntact(const std::string& entry, const std::string& source) const {
        const struct stat info = statOf(entry);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << entry;
        EXPECT_EQ(info.st_uid, geteuid());
        EXPECT_EQ(info.st_mode & 0777, 0444u);
        EXPECT_EQ(readFile(entry), readFile(path(source)));
    }
};

// Two launchers sharing a jar keep one copy of it; later launches use the same files, copy
// nothing into the temporary directory and leave the files' identity as it was.
TEST_F(AppCacheE2ETest, LaunchersShareAJarAndLaterLaunchesCopyNothing) {
    const std::vector<std::string> first = launch(packLauncher("a", {"shared.jar", "one.jar"}));
    const std::vector<std::string> second = launch(packLauncher("b", {"two.jar", "shared.jar"}));
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(cached(first[0]), second[1]);
    EXPECT_EQ(first[0].substr(first[0].rfind('/')), "/shared.jar");
    expectIntact(first[0], "shared.jar");
    expectIntact(first[1], "one.jar");
    expectIntact(second[0], "two.jar");
    const struct stat before = statOf(first[0]);

    EXPECT_EQ(launch(path("a")), first);
    const struct stat after = statOf(first[0]);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});

    // Turned off, the jars are extracted for the run as without the cache.
    m_environment["QV_APP_CACHE"] = "0";
    const std::vector<std::string> off = launch(path("a"));
    ASSERT_EQ(off.size(), 3u);
    EXPECT_EQ(off[0], "extracted");
    EXPECT_EQ(off[1].rfind(m_tmp + "/", 0), 0u) << off[1];
}

// A cached file that was altered, replaced or is not the user's own is refused: the launch
// extracts the jar again and runs on the launcher's bytes.
TEST_F(AppCacheE2ETest, AlteredOrForeignEntriesAreRefusedAndRebuilt) {
    const std::string launcher = packLauncher("a", {"shared.jar"});
    const std::string entry = cached(launch(launcher).at(0));
    writeFile(path("evil.jar"), patternBytes(300 * 1024, 9));
    const struct {
        const char* what;
        std::string shell;  // run in the entry's directory, the entry as $1
        bool needsRoot;
    } tamperings[] = {
        {"rewritten, same size", "chmod u+w \"$1\" && cat '" + path("evil.jar") + "' > \"$1\"",
         false},
        {"replaced by a link", "rm -f \"$1\" && ln -s '" + path("evil.jar") + "' \"$1\"", false},
        {"made group-writable", "chmod g+w \"$1\"", false},
        {"replaced, mode restored",
         "rm -f \"$1\" && cp '" + path("evil.jar") + "' \"$1\" && chmod 444 \"$1\"", false},
        {"owned by another user", "chown 4321 \"$1\"", true},
    };
    for (const auto& tampering : tamperings) {
        SCOPED_TRACE(tampering.what);
        if (tampering.needsRoot && geteuid() != 0) {
            continue;
        }
        Command tamper = command("/bin/sh", {"-c", tampering.shell, "sh", entry});
        ASSERT_EQ(runProgram(tamper).status, 0);
        EXPECT_EQ(launch(launcher), std::vector<std::string>{entry});
        expectIntact(entry, "shared.jar");
    }
}

// Launchers started at once on an empty cache all run on one whole copy; no temporary file of
// the extraction is left.
TEST_F(AppCacheE2ETest, ConcurrentFirstLaunchesAgreeOnOneCopy) {
    const std::string launcher = packLauncher("a", {"shared.jar", "one.jar"});
    std::vector<std::unique_ptr<ChildProcess>> launches;
    for (int i = 0; i < 8; ++i) {
        Command launch = command(launcher, {});
        launch.captureDirectory = makeDirectory("run" + std::to_string(i));
        launches.emplace_back(new ChildProcess(launch));
    }
    std::vector<std::string> seen;
    for (auto& child : launches) {
        RunResult result = child->wait();
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<std::string> entries = lines(result.out);
        ASSERT_EQ(entries.size(), 3u) << result.out;
        if (seen.empty()) {
            seen = entries;
        }
        EXPECT_EQ(entries, seen);
    }
    expectIntact(cached(seen[1]), "shared.jar");
    expectIntact(cached(seen[2]), "one.jar");
    const std::string directory = seen[1].substr(0, seen[1].rfind('/'));
    EXPECT_EQ(listDirectory(directory), std::vector<std::string>{"shared.jar"});
}

// Past the size limit an extraction removes the least recently used application's files, but
// never those of the launch itself nor those used in the last minute.
TEST_F(AppCacheE2ETest, SizeLimitRemovesTheLeastRecentlyUsedFirst) {
    m_environment["QV_APP_CACHE_MAX_MB"] = "1";
    writeFile(path("big1.jar"), patternBytes(600 * 1024, 4));
    writeFile(path("big2.jar"), patternBytes(600 * 1024, 5));
    writeFile(path("big3.jar"), patternBytes(600 * 1024, 6));
    const std::string old = launch(packLauncher("a", {"big1.jar"})).at(0);
    const std::string oldDirectory = old.substr(0, old.rfind('/'));
    // Recently used: kept although the cache is over its limit.
    const std::string recent = launch(packLauncher("b", {"big2.jar"})).at(0);
    EXPECT_TRUE(exists(old));
    Command age = command("/usr/bin/touch", {"-d", "2 hours ago", oldDirectory});
    ASSERT_EQ(runProgram(age).status, 0);
    const std::string third = launch(packLauncher("c", {"big3.jar"})).at(0);
    EXPECT_FALSE(exists(oldDirectory));
    EXPECT_TRUE(exists(recent));
    expectIntact(third, "big3.jar");
    // The removed application extracts its jar again when it is launched next.
    EXPECT_EQ(launch(path("a")), std::vector<std::string>{old});
    expectIntact(old, "big1.jar");
}

}  // namespace

// The guide's examples quoted word for word, and the quick start and the complete instruction
// script run as the guide shows them (the fixture: tests/e2e/GuideTest.h).
#include "tests/e2e/GuideTest.h"

#include <gtest/gtest.h>

namespace {

using namespace qvtest;

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

// The one-command launcher prints the application's output alone and cleans up after it.
TEST_F(GuideE2ETest, QuickStartBuildsALauncherThatRunsHello) {
    std::string clone = quickStartClone();
    const std::map<std::string, std::string> environment = {{"JAVA_HOME", kJdkHome}};
    RunResult hello = shell(lines(example("quickstart/quickstart.sh")).back(), environment, clone);
    EXPECT_EQ(hello.status, 0) << hello.err;
    EXPECT_EQ(hello.err, "");
    EXPECT_EQ(withoutMachineDetails(hello.out),
              withoutMachineDetails(example("quickstart/quickstart.out")));
    EXPECT_EQ(leftInTemp(), std::vector<std::string>{});
}

TEST_F(GuideE2ETest, FullControlPacksTheExampleTagFiles) {
    std::string clone = fullControlClone();
    const std::map<std::string, std::string> environment = {{"JAVA_HOME", kJdkHome}};
    RunResult hello =
        shell(lines(example("quickstart/full-control.sh")).back(), environment, clone);
    EXPECT_EQ(hello.status, 0) << hello.err;
    EXPECT_EQ(withoutMachineDetails(hello.out),
              withoutMachineDetails(example("quickstart/full-control.out")));

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
    std::string clone = fullControlClone();
    // The runtime the installer carries is the build's JDK, reached through links.
    std::string runtime = path("runtime");
    makeDirectories(runtime);
    ASSERT_EQ(symlink((kJdkHome + "/bin").c_str(), (runtime + "/bin").c_str()), 0);
    ASSERT_EQ(symlink((kJdkHome + "/lib").c_str(), (runtime + "/lib").c_str()), 0);
    runCommands(lines(example("instructions/fallback.sh")), clone, {{"JRE", runtime}});
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

}  // namespace

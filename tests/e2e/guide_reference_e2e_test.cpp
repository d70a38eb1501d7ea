// The guide's reference sections checked against the built programs: tag files, property
// values, input-file exchanges, the disk walk, launch-script functions and instruction errors
// (the fixture: tests/e2e/GuideTest.h).
#include "tests/e2e/GuideTest.h"

#include <gtest/gtest.h>

namespace {

using namespace qvtest;

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
        EXPECT_EQ(result.status, 1) << row[0] << ": " << result.err;
        EXPECT_TRUE(hasLine(result.err, message)) << row[0] << ":\n" << result.err;
        std::string shown = "`" + replaceAll(row[0], "\\n", "`<br>`") + "`";
        std::string guideRow = "| " + shown + " | `" + message + "` |";
        EXPECT_TRUE(contains(guide.text, guideRow)) << "the guide lacks the row " << guideRow;
    }
}

}  // namespace

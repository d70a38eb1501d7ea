#include "launcher/LauncherInputFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "instructions/Instructions.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherActions.h"
#include "launchscript/LaunchScript.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/LauncherTestSupport.h"
#include "tests/support/ScriptTestSupport.h"

using namespace qvtest;

namespace {

const std::string kStub = "#!/bin/false\nnot really a launcher\n";

struct RawFile {
    long type;
    long id;
    std::string name;
    std::string content;
};

// A launcher file laid out by hand: the stub, the contents, then the index and trailer.
std::string rawLauncher(const std::vector<RawFile>& files) {
    std::string bytes = kStub;
    FileIndexEntryPtrDeque entries;
    for (const RawFile& file : files) {
        entries.push_back(new FileIndexEntry(file.type, file.id,
                                             static_cast<long>(file.content.size()),
                                             static_cast<long>(bytes.size()), file.name.c_str()));
        bytes += file.content;
    }
    SString index = encodeFileIndex(entries, static_cast<long>(bytes.size()));
    return bytes + str(index);
}

// The trailer's index offset, replaced.
std::string withIndexOffset(std::string launcher, long indexOffset) {
    SString offset;
    appendBigEndian32(offset, indexOffset);
    return launcher.replace(launcher.size() - 8, 4, str(offset));
}

std::string trailerOnly(const std::string& before, const std::string& index) {
    SString trailer;
    appendBigEndian32(trailer, static_cast<long>(before.size()));
    appendBigEndian32(trailer, kLauncherIdentification);
    return before + index + str(trailer);
}

class LauncherInputFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedOutput = g_enableOutput;
        g_enableOutput = false;
        m_launcher = m_dir / "launcher";
        Launcher::setLauncherFiles(m_launcher.c_str(), m_launcher.c_str());
    }
    void TearDown() override {
        Launcher::resetForTest();
        g_enableOutput = m_savedOutput;
    }

    // Loads launcher bytes; returns the thrown message, or "" when loaded.
    std::string load(const std::string& bytes, LauncherInputFiles& files, bool tagFiles = true) {
        writeFile(m_launcher, bytes);
        try {
            files.load(tagFiles);
        } catch (const LauncherException& e) {
            return str(e.m_message);
        }
        return "";
    }

    // Packs files with the launcher builder; each file is written under its name first.
    std::string pack(const std::vector<RawFile>& files) {
        mkdir((m_dir / "src").c_str(), 0755);
        std::vector<qvtest::EmbeddedTestFile> embedded;
        for (const RawFile& file : files) {
            embedded.push_back({file.type, file.name, file.content, file.id});
        }
        qvtest::packTestLauncher(m_dir / "src", m_launcher, embedded, kStub);
        return readFile(m_launcher);
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-input"};
    std::string m_launcher;
    bool m_savedOutput = true;
};

const std::vector<RawFile> kSampleFiles = {
    {FILE_TYPE_INSTRUCTIONS, -1, "start.tag", "FIND_JVM:\n  1\n/:\n"},
    {FILE_TYPE_JVM, 11, "first.jvm", "JVM_EXE: bin/java\n"},
    {FILE_TYPE_LAUNCH_SCRIPT, -1, "launch.tag", "DESC: Sample\n"},
    {FILE_TYPE_JVM, -1, "second.jvm", "JVM_EXE: jre/bin/java\n"},
    {FILE_TYPE_APPLICATION, -1, "app.jar", qvtest::patternBytes(5000, 3)},
    {FILE_TYPE_JVM_INSTALLER, 2, "install.bin", qvtest::patternBytes(300, 4)},
};

TEST_F(LauncherInputFilesTest, LoadsWhatWasPacked) {
    std::string launcher = pack(kSampleFiles);
    LauncherInputFiles files(Launcher::context());
    ASSERT_EQ(load(launcher, files), "");
    EXPECT_TRUE(files.isIndexLoaded());
    ASSERT_EQ(files.getFileCount(), static_cast<long>(kSampleFiles.size()));
    // Explicit ids 11 and 2 are kept; the others count up from 1 around them.
    const long expectedIds[] = {1, 11, 3, 4, 5, 2};
    for (long i = 0; i < files.getFileCount(); ++i) {
        const FileIndexEntry& entry = *files.getFileAt(i);
        const RawFile& packed = kSampleFiles[static_cast<size_t>(i)];
        EXPECT_EQ(entry.getType(), packed.type) << packed.name;
        EXPECT_EQ(entry.getId(), expectedIds[i]) << packed.name;
        EXPECT_EQ(str(entry.getName()), packed.name);
        EXPECT_TRUE(launcher.substr(static_cast<size_t>(entry.getOffset()),
                                    static_cast<size_t>(entry.getLength())) == packed.content)
            << packed.name;
        EXPECT_EQ(entry.getTagFile() != nullptr, isTagFileType(packed.type)) << packed.name;
        EXPECT_EQ(files.getFile(expectedIds[i]), &entry) << packed.name;
    }
    EXPECT_EQ(str(files.getFileAt(1)->getTagFile()->getTagValue("JVM_EXE", 0)), "bin/java");
    EXPECT_EQ(files.getFileAt(-1), nullptr);
    EXPECT_EQ(files.getFileAt(files.getFileCount()), nullptr);
    EXPECT_EQ(files.getFile(99), nullptr);
}

TEST_F(LauncherInputFilesTest, LogsOneRecordPerEntry) {
    std::string logPath = m_dir / "launcher.log";
    Log::setLogFileName(logPath.c_str());
    LauncherInputFiles files(Launcher::context());
    std::string launcher = rawLauncher(
        {{FILE_TYPE_CLASSPATH, 4, "a.jar", "abc"}, {FILE_TYPE_VERIFY, -7, "v.jar", ""}});
    ASSERT_EQ(load(launcher, files), "");
    const std::string offset = std::to_string(kStub.size());
    const std::string next = std::to_string(kStub.size() + 3);
    std::string log = readFile(logPath);
    EXPECT_NE(log.find("file type: 3\n  file id: 4\n  length: 3\n  offset: " + offset +
                       "\n  file name: a.jar\n"
                       "file type: 5\n  file id: -7\n  length: 0\n  offset: " +
                       next + "\n  file name: v.jar\n"),
              std::string::npos)
        << log;
}

TEST_F(LauncherInputFilesTest, LauncherWithoutIdentificationHasNoEmbeddedFiles) {
    const std::string packed = rawLauncher({{FILE_TYPE_CLASSPATH, 1, "a.jar", "abc"}});
    const std::string launchers[] = {kStub, "12345678", packed.substr(0, packed.size() - 1) + "X"};
    for (const std::string& launcher : launchers) {
        LauncherInputFiles files(Launcher::context());
        EXPECT_EQ(load(launcher, files), "") << launcher;
        EXPECT_TRUE(files.isIndexLoaded());
        EXPECT_EQ(files.getFileCount(), 0);
        EXPECT_EQ(files.getFileAt(0), nullptr);
        EXPECT_EQ(files.getFile(1), nullptr);
    }
}

TEST_F(LauncherInputFilesTest, BadLauncherFilesFailCleanly) {
    const std::string oneFile = rawLauncher({{FILE_TYPE_CLASSPATH, 1, "a.jar", "abc"}});
    const long indexOffset = static_cast<long>(kStub.size() + 3);
    std::string typeEight = oneFile;
    typeEight[static_cast<size_t>(indexOffset) + 4] = 8;
    std::string lengthPastTrailer = oneFile;
    lengthPastTrailer[static_cast<size_t>(indexOffset) + 4 + 5 + 2] = 0x10;
    SString hugeCount;
    appendBigEndian32(hugeCount, 0x7FFFFFFF);
    SString twoEntries;
    appendBigEndian32(twoEntries, 2);
    struct Case {
        const char* what;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"seven bytes", "1234567", "Invalid launcher format."},
        {"index offset past the end", withIndexOffset(oneFile, 1 << 30),
         "Unable to read the file count."},
        {"negative index offset", withIndexOffset(oneFile, -4), "Invalid file index offset."},
        {"type 8", typeEight, "Invalid file type in file index."},
        {"count beyond the bytes", trailerOnly(kStub, str(hugeCount)),
         "Invalid file count in file index: the entries cannot fit."},
        {"count beyond the entries",
         trailerOnly(kStub, str(twoEntries) +
                                oneFile.substr(static_cast<size_t>(indexOffset) + 4, 15 + 5) +
                                std::string(15, '\xFF')),
         "Invalid file type in file index."},
        {"file past the trailer", lengthPastTrailer,
         "File bytes in file index run past the end of the launcher file."},
    };
    for (const Case& c : cases) {
        LauncherInputFiles files(Launcher::context());
        EXPECT_EQ(load(c.bytes, files), c.expected) << c.what;
        EXPECT_FALSE(files.isIndexLoaded()) << c.what;
        EXPECT_EQ(files.getFileCount(), 0) << c.what;
    }
    LauncherInputFiles missing(Launcher::context());
    std::remove(m_launcher.c_str());
    try {
        missing.load(true);
        ADD_FAILURE() << "loaded a missing launcher";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message), "Cannot open launcher file.");
    }
}

// The launcher file is opened before anything is read, as the launcher does at start; a file
// renamed over its path afterwards changes nothing read later: index, tag files, extraction.
TEST_F(LauncherInputFilesTest, ReadsTheOpenedFileAfterAnotherIsRenamedOverIt) {
    // One layout, different bytes: reading by name again would give "b" at the same offsets.
    auto launcher = [](const std::string& letter) {
        return rawLauncher({{FILE_TYPE_JVM, 1, "x.jvm", "JVM_EXE: bin/" + letter + "\n"},
                            {FILE_TYPE_APPLICATION, 2, "app.jar", std::string(4, letter[0])}});
    };
    writeFile(m_launcher, launcher("a"));
    const std::string next = m_dir / "next";
    writeFile(next, launcher("b"));
    LauncherInputFiles files(Launcher::context());
    ASSERT_TRUE(files.openLauncherFile(m_launcher.c_str(), "/shown/name"));
    ASSERT_EQ(std::rename(next.c_str(), m_launcher.c_str()), 0);

    ASSERT_NO_THROW(files.load(true));
    EXPECT_EQ(str(files.getLauncherFile().getName()), "/shown/name");
    ASSERT_NE(files.getFile(1)->getTagFile(), nullptr);
    EXPECT_EQ(str(files.getFile(1)->getTagFile()->getTagValue("JVM_EXE", 0)), "bin/a");
    const std::string out = m_dir / "out";
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    SString extracted;
    ASSERT_NO_THROW(extracted = files.getFile(2)->extract(out.c_str()));
    EXPECT_EQ(readFile(str(extracted)), "aaaa");

    // A load from a path keeps its descriptor in the same way.
    LauncherInputFiles fromPath(Launcher::context());
    ASSERT_NO_THROW(fromPath.loadLauncherFile(m_launcher.c_str(), false));
    writeFile(next, launcher("c"));
    ASSERT_EQ(std::rename(next.c_str(), m_launcher.c_str()), 0);
    ASSERT_NO_THROW(extracted = fromPath.getFile(2)->extract(out.c_str()));
    EXPECT_EQ(readFile(str(extracted)), "bbbb");
}

TEST_F(LauncherInputFilesTest, ZeroFilesLoadAsAnEmptyIndex) {
    LauncherInputFiles files(Launcher::context());
    EXPECT_EQ(load(pack({}), files), "");
    EXPECT_TRUE(files.isIndexLoaded());
    EXPECT_EQ(files.getFileCount(), 0);
}

TEST_F(LauncherInputFilesTest, DuplicateIdsFindTheEarlierEntry) {
    LauncherInputFiles files(Launcher::context());
    ASSERT_EQ(load(rawLauncher({{FILE_TYPE_CLASSPATH, 5, "a.jar", "a"},
                                {FILE_TYPE_CLASSPATH, 5, "b.jar", "b"}}),
                   files),
              "");
    ASSERT_NE(files.getFile(5), nullptr);
    EXPECT_EQ(str(files.getFile(5)->getName()), "a.jar");
}

TEST_F(LauncherInputFilesTest, SyntaxErrorInEmbeddedJvmFileNamesItAndItsLine) {
    const std::string launcher =
        rawLauncher({{FILE_TYPE_JVM, 1, "good.jvm", "JVM_EXE: bin/java\n"},
                     {FILE_TYPE_JVM, 2, "broken.jvm", "JVM_EXE: bin/java\nno colon\n"}});
    LauncherInputFiles withTags(Launcher::context());
    EXPECT_EQ(load(launcher, withTags),
              "Syntax error in broken.jvm at line 2 ==> Missing colon at the end of the tag name.");
    EXPECT_FALSE(withTags.isIndexLoaded());
    EXPECT_EQ(withTags.getFileCount(), 0);

    // Without tag files the index loads, and a later request for them changes nothing.
    LauncherInputFiles indexOnly(Launcher::context());
    EXPECT_EQ(load(launcher, indexOnly, false), "");
    EXPECT_EQ(load(launcher, indexOnly, true), "");
    EXPECT_EQ(indexOnly.getFileCount(), 2);
    EXPECT_EQ(indexOnly.getFileAt(0)->getTagFile(), nullptr);
}

TEST_F(LauncherInputFilesTest, ExtractAllWritesEveryFileAndAnInputFile) {
    // A second instruction script and launch script: the input file names the first of each,
    // the ones the launcher itself runs.
    std::vector<RawFile> packed = kSampleFiles;
    packed.push_back({FILE_TYPE_INSTRUCTIONS, -1, "later.tag", "FIND_JVM:\n  2\n/:\n"});
    packed.push_back({FILE_TYPE_LAUNCH_SCRIPT, -1, "later.launch", "DESC: Later\n"});
    std::string launcher = pack(packed);
    LauncherInputFiles files(Launcher::context());
    ASSERT_EQ(load(launcher, files, false), "");
    std::string target = m_dir / "extracted";
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(target.c_str()), 0);
    try {
        files.extractAll();
    } catch (const LauncherException& e) {
        ADD_FAILURE() << str(e.m_message);
    }
    ASSERT_EQ(chdir(previous), 0);

    std::vector<std::string> expectedNames = {"input.tag"};
    for (const RawFile& file : packed) {
        expectedNames.push_back(file.name);
        EXPECT_TRUE(readFile(target + "/" + file.name) == file.content) << file.name;
        EXPECT_EQ(qvtest::isExecutable(target + "/" + file.name),
                  file.type == FILE_TYPE_JVM_INSTALLER)
            << file.name;
    }
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(qvtest::listDirectory(target), expectedNames);
    EXPECT_EQ(readFile(target + "/input.tag"),
              "ACTION:  RUN_INSTRUCTIONS\n"
              "INSTRUCTIONS:  start.tag\n"
              "JVM:\n  first.jvm\n  second.jvm\n/:\n"
              "LAUNCHSCRIPT:  launch.tag\n");
}

// ---- Hostile launcher files ----

const char kCatchAllMessage[] = "Unable to read the file index of the launcher file.";

// Loads one variant and describes what went wrong with it, or returns "".
std::string checkVariant(const std::string& path, const std::string& bytes) {
    writeFile(path, bytes);
    Launcher::setLauncherFiles(path.c_str(), path.c_str());
    LauncherInputFiles files(Launcher::context());
    try {
        files.load(true);
    } catch (const LauncherException& e) {
        if (e.m_message.empty() || e.m_message.compare(kCatchAllMessage) == 0) {
            return "unclear failure: \"" + str(e.m_message) + "\"";
        }
        return "";
    } catch (...) {
        return "an exception other than LauncherException";
    }
    long trailerStart = static_cast<long>(bytes.size()) - 8;
    for (long i = 0; i < files.getFileCount(); ++i) {
        const FileIndexEntry& entry = *files.getFileAt(i);
        if (entry.getOffset() < 0 || entry.getLength() < 0 ||
            entry.getOffset() + entry.getLength() > trailerStart) {
            return "accepted an entry outside the file";
        }
    }
    return "";
}

// Every byte of the index and trailer overwritten with each hostile value, and the file cut
// short at each of those positions. Returns the failures, one per line.
std::string runHostileVariants(const std::string& launcher, size_t indexOffset,
                               const std::string& path) {
    const unsigned char hostile[] = {0x00, 0x7F, 0x80, 0xFF};
    std::string failures;
    for (size_t position = indexOffset; position < launcher.size(); ++position) {
        for (unsigned char value : hostile) {
            std::string variant = launcher;
            variant[position] = static_cast<char>(value);
            std::string failure = checkVariant(path, variant);
            if (!failure.empty()) {
                failures += "byte " + std::to_string(position) + " = " + std::to_string(value) +
                            ": " + failure + "\n";
            }
        }
        std::string failure = checkVariant(path, launcher.substr(0, position));
        if (!failure.empty()) {
            failures += "cut at " + std::to_string(position) + ": " + failure + "\n";
        }
    }
    return failures;
}

#if !defined(__SANITIZE_ADDRESS__)
// Lets the process grow by at most extra bytes of address space, so that an allocation sized
// by a hostile count fails (and shows up as the catch-all message) instead of succeeding.
void limitAddressSpace(long extra) {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                   static_cast<rlim_t>(extra);
    struct rlimit bound = {limit, limit};
    setrlimit(RLIMIT_AS, &bound);
}
#endif

TEST_F(LauncherInputFilesTest, HostileIndexBytesEndCleanly) {
    std::vector<RawFile> files = {
        {FILE_TYPE_INSTRUCTIONS, -1, "start.tag", "A: 1\n"},
        {FILE_TYPE_JVM, 7, "x.jvm", "JVM_EXE: bin/java\nB:\n  1\n  2\n/:\n"},
        {FILE_TYPE_APPLICATION, -1, "app.jar", qvtest::patternBytes(200, 9)},
    };
    std::string launcher = pack(files);
    const size_t indexOffset = launcher.size() - 8 - 4 - 3 * 15 - 9 - 5 - 7;
    ASSERT_EQ(launcher.substr(indexOffset, 4), std::string("\0\0\0\3", 4));
    const std::string variantPath = m_dir / "variant";
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer reserves far more address space than any limit would allow; it reports
    // oversized allocations itself.
    EXPECT_EQ(runHostileVariants(launcher, indexOffset, variantPath), "");
#else
    EXPECT_EXIT(
        {
            limitAddressSpace(256L << 20);
            std::string failures = runHostileVariants(launcher, indexOffset, variantPath);
            std::fputs(failures.c_str(), stderr);
            std::_Exit(failures.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

// ---- The script objects built from an input file and from the embedded tag files.

// The actions the input files' instruction script calls, joined by ";".
std::string scriptCalls(const LauncherInputFiles& files) {
    qvtest::RecordingActions actions;
    const Instructions* instructions = files.getInstructions();
    if (instructions == nullptr) {
        return "(none)";
    }
    const_cast<Instructions*>(instructions)->setActions(actions);
    instructions->execute();
    const_cast<Instructions*>(instructions)->setActions(LauncherActions::instance());
    std::string calls;
    for (const std::string& call : actions.m_calls) {
        calls += call + ";";
    }
    return calls;
}

std::vector<std::string> jvmFileDescriptions(LauncherInputFiles& files) {
    std::vector<std::string> descriptions;
    for (long i = 0; i < files.getJVMFiles().getJVMFileCount(); ++i) {
        descriptions.push_back(str(files.getJVMFiles().getJVMFile(i)->getTagValue(g_descTag)));
    }
    return descriptions;
}

const std::vector<RawFile> kEmbeddedScripts = {
    {FILE_TYPE_INSTRUCTIONS, -1, "embedded.tag", "INSTRUCTIONS: FIND_JVM 0 0\n"},
    {FILE_TYPE_JVM, -1, "first.jvm", "DESC: first embedded\n"},
    {FILE_TYPE_LAUNCH_SCRIPT, -1, "launch.tag", "DESC: Embedded app\nCOMMAND: java\n"},
    {FILE_TYPE_INSTRUCTIONS, -1, "later.tag", "INSTRUCTIONS: INITIALIZE_UI\n"},
    {FILE_TYPE_JVM, -1, "second.jvm", "DESC: second embedded\n"},
};

class LauncherInputFilesObjectsTest : public LauncherInputFilesTest {
protected:
    // An input file with the given tags; each (tag, file) pair also writes the file it names.
    TagFile& inputFile(const std::vector<std::pair<std::string, std::string>>& tags) {
        std::string text;
        for (const auto& tag : tags) {
            text += tag.first + ": " + tag.second + "\n";
        }
        writeFile(m_dir / "input.tag", text);
        m_input.reset(new TagFile((m_dir / "input.tag").c_str()));
        return *m_input;
    }

    std::string diskFile(const std::string& name, const std::string& content) {
        writeFile(m_dir / name, content);
        return m_dir / name;
    }

    std::unique_ptr<TagFile> m_input;
};

TEST_F(LauncherInputFilesObjectsTest, InputFileObjectsComeFirstAndEmbeddedOnesFillTheGaps) {
    std::string launcher = pack(kEmbeddedScripts);
    LauncherInputFiles files(Launcher::context());
    files.load(inputFile({{"INSTRUCTIONS", diskFile("run.tag", "INSTRUCTIONS: INITIALIZE_UI\n")},
                          {"JVM", diskFile("disk.jvm", "DESC: from disk\n")}}));
    ASSERT_EQ(load(launcher, files), "");

    EXPECT_EQ(scriptCalls(files), "initializeUI();");
    ASSERT_NE(files.getLaunchScript(), nullptr);
    EXPECT_EQ(str(files.getLaunchScript()->getDescription()), "Embedded app");
    EXPECT_EQ(jvmFileDescriptions(files), std::vector<std::string>{"from disk"});
}

TEST_F(LauncherInputFilesObjectsTest, EmbeddedObjectsWhenTheInputFileNamesNone) {
    struct Case {
        std::string jvmTag;  // the input file's JVM line, or none
        std::vector<std::string> expected;
    } cases[] = {
        {"", {"first embedded", "second embedded"}},
        // A JVM tag, even with only an empty value, keeps the embedded jvm files out.
        {"JVM: \"\"\n", {}},
    };
    std::string launcher = pack(kEmbeddedScripts);
    for (const Case& c : cases) {
        writeFile(m_dir / "input.tag", "ACTION: RUN_INSTRUCTIONS\n" + c.jvmTag);
        TagFile input((m_dir / "input.tag").c_str());
        LauncherInputFiles files(Launcher::context());
        files.load(input);
        ASSERT_EQ(load(launcher, files), "") << c.jvmTag;
        EXPECT_EQ(jvmFileDescriptions(files), c.expected) << c.jvmTag;
        // The first embedded instruction script wins.
        EXPECT_EQ(scriptCalls(files), "findJVM(0,0);") << c.jvmTag;
    }
}

TEST_F(LauncherInputFilesObjectsTest, LauncherWithoutScriptsHasNoObjects) {
    LauncherInputFiles files(Launcher::context());
    ASSERT_EQ(load(rawLauncher({{FILE_TYPE_APPLICATION, 1, "app.jar", "PK"}}), files), "");
    EXPECT_FALSE(files.hasInstructions());
    EXPECT_EQ(files.getLaunchScript(), nullptr);
    EXPECT_EQ(files.getJVMFiles().getJVMFileCount(), 0);
}

TEST_F(LauncherInputFilesObjectsTest, VerifyClassNeedsBothPathAndName) {
    LauncherInputFiles files(Launcher::context());
    files.load(inputFile({{"VERIFY_CLASSPATH", "/opt/v.jar"}, {"VERIFY_CLASS_NAME", "V"}}));
    files.load(inputFile({{"VERIFY_CLASSPATH", "/other/alone.jar"}}));
    files.load(inputFile({{"VERIFY_CLASS_NAME", "Alone"}}));
    const VerifyClass& verifyClass = files.getJVMFiles().verifyClass();
    EXPECT_EQ(str(verifyClass.classpath()), "/opt/v.jar");
    EXPECT_EQ(str(verifyClass.className()), "V");
}

TEST_F(LauncherInputFilesObjectsTest, ConsoleTitleFollowsTheLoadOrder) {
    std::string diskScript = diskFile("disk.launch", "DESC: Disk app\nCOMMAND: java\n");
    struct Case {
        std::vector<std::pair<std::string, std::string>> tags;
        std::string printed;  // the titles set, in order
    } cases[] = {
        // UI_TITLE overrides the input file's launch script...
        {{{"LAUNCHSCRIPT", diskScript}, {"UI_TITLE", "Override"}}, "Disk app\nOverride\n"},
        // ...but not the embedded one, which is read later.
        {{{"UI_TITLE", "Override"}}, "Override\nEmbedded app\n"},
    };
    std::string launcher = pack(kEmbeddedScripts);
    for (const Case& c : cases) {
        LauncherInputFiles files(Launcher::context());
        TagFile& input = inputFile(c.tags);
        PlatformImpl::resetUIState();
        ::testing::internal::CaptureStdout();
        files.load(input);
        std::string loadError = load(launcher, files);
        std::string printed = ::testing::internal::GetCapturedStdout();
        g_enableOutput = false;
        ASSERT_EQ(loadError, "");
        EXPECT_EQ(printed, c.printed);
    }
}

TEST_F(LauncherInputFilesObjectsTest, MissingFilesNameWhatWasBeingLoaded) {
    const char* savedLang = std::getenv("LANG");
    const std::string restoredLang = savedLang == nullptr ? "" : savedLang;
    setenv("LANG", "C", 1);
    const std::string missing = m_dir / "missing.tag";
    struct Case {
        const char* tag;
        const char* prefix;
    } cases[] = {
        {"INSTRUCTIONS", "Error loading instructions file."},
        {"LAUNCHSCRIPT", "Error loading launch script."},
        {"JVM", "Error loading JVM file."},
    };
    for (const Case& c : cases) {
        LauncherInputFiles files(Launcher::context());
        std::string message;
        try {
            files.load(inputFile({{c.tag, missing}}));
        } catch (const LauncherException& e) {
            message = str(e.m_message);
        }
        EXPECT_EQ(message, std::string(c.prefix) + "Unable to load input file: " + missing)
            << c.tag;
    }
    if (savedLang == nullptr) {
        unsetenv("LANG");
    } else {
        setenv("LANG", restoredLang.c_str(), 1);
    }
}

TEST_F(LauncherInputFilesObjectsTest, ObjectsBuiltBeforeAFailureStay) {
    LauncherInputFiles files(Launcher::context());
    EXPECT_THROW(files.load(inputFile({{"INSTRUCTIONS", diskFile("run.tag",
                                                                 "INSTRUCTIONS: "
                                                                 "INITIALIZE_UI\n")},
                                       {"JVM", diskFile("a.jvm", "DESC: a\n")},
                                       {"JVM", m_dir / "missing.jvm"}})),
                 LauncherException);
    EXPECT_EQ(scriptCalls(files), "initializeUI();");
}

}  // namespace

#include "input/FileIndexEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/LauncherFile.h"
#include "input/LauncherLayout.h"
#include "platform/unix/PlatformImpl.h"
#include "tests/support/LauncherTestSupport.h"

using qvtest::readFile;
using qvtest::str;
using qvtest::writeFile;

namespace {

std::string encode(long type, long id, long length, long offset, const std::string& name) {
    FileIndexEntry entry(type, id, length, offset, SString(name.data(), name.size()));
    SString bytes;
    entry.appendTo(bytes);
    return str(bytes);
}

class FileIndexEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedOutput = g_enableOutput;
        g_enableOutput = false;
    }
    void TearDown() override { g_enableOutput = m_savedOutput; }

    // Loads one entry from bytes; returns the thrown message, or "" when it loaded.
    std::string loadFrom(const std::string& bytes, long trailerStart, FileIndexEntry& entry,
                         int* nextByte = nullptr) {
        std::string path = m_dir / "index.bin";
        writeFile(path, bytes);
        FILE* file = std::fopen(path.c_str(), "rb");
        EXPECT_NE(file, nullptr);
        std::string error;
        try {
            entry.load(file, trailerStart);
        } catch (const LauncherException& e) {
            error = str(e.m_message);
        }
        if (nextByte != nullptr) {
            *nextByte = std::getc(file);
        }
        std::fclose(file);
        return error;
    }

    // A launcher file with content at offset 10, made the running launcher and opened.
    void makeLauncher(const std::string& content) {
        std::string path = m_dir / "launcher";
        writeFile(path, std::string(10, 'S') + content + std::string(8, 'T'));
        m_launcherPath = path;
        ASSERT_TRUE(m_launcherFile.open(path.c_str(), path.c_str()));
    }

    std::string extractDir() {
        std::string dir = m_dir / "out";
        mkdir(dir.c_str(), 0755);
        return dir;
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-input"};
    LauncherFile m_launcherFile;
    std::string m_launcherPath;
    bool m_savedOutput = true;
};

TEST_F(FileIndexEntryTest, StoredFormIsExact) {
    EXPECT_EQ(encode(3, 0x01020304, 5, 16, "ab"),
              std::string("\x03\x01\x02\x03\x04\x00\x00\x00\x05\x00\x00\x00\x10\x00\x02"
                          "ab",
                          17));
    EXPECT_EQ(encode(7, -1, 0, 0, ""),
              std::string("\x07\xFF\xFF\xFF\xFF\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 15));
}

TEST_F(FileIndexEntryTest, StoredFormReadsBack) {
    struct Case {
        long type, id, length, offset;
        std::string name;
    };
    const Case cases[] = {
        {0, 1, 10, 100, "instructions.tag"},
        {7, 2147483647, 2147483000, 0, "x"},
        {5, -5, 0, 2147483647, ""},
        {6, 0, 1, 1, std::string(kMaxFileNameLength, 'n')},
    };
    for (const Case& c : cases) {
        FileIndexEntry entry;
        int nextByte = 0;
        std::string bytes = encode(c.type, c.id, c.length, c.offset, c.name) + "Z";
        ASSERT_EQ(loadFrom(bytes, 0x7FFFFFFFL, entry, &nextByte), "") << c.name;
        EXPECT_EQ(entry.getType(), c.type) << c.name;
        EXPECT_EQ(entry.getId(), c.id) << c.name;
        EXPECT_EQ(entry.getLength(), c.length) << c.name;
        EXPECT_EQ(entry.getOffset(), c.offset) << c.name;
        EXPECT_EQ(str(entry.getName()), c.name);
        EXPECT_EQ(nextByte, 'Z') << "the entry must consume exactly its bytes: " << c.name;
    }
}

TEST_F(FileIndexEntryTest, LoadRejectsBadEntries) {
    const std::string good = encode(1, 9, 20, 30, "name");
    struct Case {
        std::string bytes;
        long trailerStart;
        const char* expected;
    };
    const Case cases[] = {
        {"", 100, "Invalid file type in file index."},
        {encode(8, 1, 0, 0, "x"), 100, "Invalid file type in file index."},
        {std::string("\xFF", 1) + good.substr(1), 100, "Invalid file type in file index."},
        {good.substr(0, 4), 100, "Unable to load file id."},
        {good.substr(0, 8), 100, "Unable to load file length."},
        {good.substr(0, 12), 100, "Unable to load offset to file bytes."},
        {good.substr(0, 14), 100, "Unable to load the string value."},
        {good.substr(0, 18), 100, "Unable to load the string value."},
        {encode(3, 1, -1, 0, "x"), 100, "Invalid file length in file index."},
        {encode(3, 1, 5, -1, "x"), 100, "Invalid offset to file bytes in file index."},
        {encode(3, 1, 71, 30, "x"), 100,
         "File bytes in file index run past the end of the launcher file."},
        {encode(3, 1, 2147483647, 2147483647, "x"), 100,
         "File bytes in file index run past the end of the launcher file."},
        {encode(3, 1, 0, 101, "x"), 100,
         "File bytes in file index run past the end of the launcher file."},
        {good.substr(0, 13) + std::string("\xFF\xFF", 2), 100,
         "Invalid file name length in file index."},
    };
    for (const Case& c : cases) {
        FileIndexEntry entry;
        EXPECT_EQ(loadFrom(c.bytes, c.trailerStart, entry), c.expected)
            << "bytes of length " << c.bytes.size();
        EXPECT_EQ(entry.getId(), -1) << "a failed load must not fill in the entry";
    }
    FileIndexEntry fits;
    EXPECT_EQ(loadFrom(encode(3, 1, 70, 30, "x"), 100, fits), "");
}

TEST_F(FileIndexEntryTest, NameEndsAtNulButEntryConsumesAllItsBytes) {
    FileIndexEntry entry;
    int nextByte = 0;
    ASSERT_EQ(loadFrom(encode(3, 1, 0, 0, std::string("ab\0cd", 5)) + "Z", 100, entry, &nextByte),
              "");
    EXPECT_EQ(str(entry.getName()), "ab");
    EXPECT_EQ(nextByte, 'Z');
}

TEST_F(FileIndexEntryTest, ExtractCopiesInBlocksOf61439Bytes) {
    struct Case {
        long length;
        size_t blocks;
    };
    // The last case moves its bytes in two steps of many blocks each.
    const Case cases[] = {
        {0, 0}, {1, 1}, {61439, 1}, {61440, 2}, {3 * 61439 + 5, 4}, {140 * 61439 + 1, 141}};
    const bool savedSilent = PlatformImpl::isSilent();
    for (const Case& c : cases) {
        std::string content = qvtest::patternBytes(static_cast<size_t>(c.length), 7);
        makeLauncher(content);
        FileIndexEntry entry(FILE_TYPE_APPLICATION, 1, c.length, 10, "app.jar");
        g_enableOutput = true;
        PlatformImpl::setSilent(false);
        testing::internal::CaptureStdout();
        SString path;
        try {
            path = entry.extract(m_launcherFile, extractDir().c_str());
        } catch (const LauncherException& e) {
            ADD_FAILURE() << str(e.m_message);
        }
        std::string shown = testing::internal::GetCapturedStdout();
        g_enableOutput = false;
        PlatformImpl::setSilent(savedSilent);
        EXPECT_EQ(str(path), m_dir / "out/app.jar");
        EXPECT_TRUE(readFile(m_dir / "out/app.jar") == content) << "length " << c.length;
        EXPECT_EQ(static_cast<size_t>(std::count(shown.begin(), shown.end(), '.')), c.blocks)
            << "length " << c.length;
    }
}

// Across file systems the kernel refuses to copy on its own; the bytes then go through a
// buffer, from the first byte or from where the kernel stopped.
TEST_F(FileIndexEntryTest, ExtractToAnotherFileSystemCopiesThroughABuffer) {
    struct stat launcherDir;
    struct stat shm;
    if (stat("/dev/shm", &shm) != 0 || stat(m_dir.path().c_str(), &launcherDir) != 0 ||
        shm.st_dev == launcherDir.st_dev || access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "needs a writable /dev/shm on another file system";
    }
    char pattern[] = "/dev/shm/qvtest-extract-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const long length = 2 * 61439 + 17;
    const std::string content = qvtest::patternBytes(static_cast<size_t>(length), 3);
    makeLauncher(content);
    FileIndexEntry entry(FILE_TYPE_APPLICATION, 1, length, 10, "app.jar");
    const bool savedSilent = PlatformImpl::isSilent();
    g_enableOutput = true;
    PlatformImpl::setSilent(false);
    testing::internal::CaptureStdout();
    std::string error;
    try {
        entry.extract(m_launcherFile, dir.c_str());
    } catch (const LauncherException& e) {
        error = str(e.m_message);
    }
    std::string shown = testing::internal::GetCapturedStdout();
    PlatformImpl::setSilent(savedSilent);
    const bool same = readFile(dir + "/app.jar") == content;
    std::remove((dir + "/app.jar").c_str());
    rmdir(dir.c_str());
    EXPECT_EQ(error, "");
    EXPECT_TRUE(same);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '.'), 3);
}

TEST_F(FileIndexEntryTest, ExtractIntoEmptyDirectoryNameWritesToWorkingDirectory) {
    makeLauncher("hello");
    std::string dir = extractDir();
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    FileIndexEntry entry(FILE_TYPE_CLASSPATH, 1, 5, 10, "cp.jar");
    SString path;
    EXPECT_NO_THROW(path = entry.extract(m_launcherFile, SString()));
    EXPECT_EQ(chdir(previous), 0);
    EXPECT_EQ(str(path), "cp.jar");
    EXPECT_EQ(readFile(dir + "/cp.jar"), "hello");
}

TEST_F(FileIndexEntryTest, ExtractRefusesNamesThatLeaveTheDirectory) {
    makeLauncher("evil");
    const std::string names[] = {"", ".", "..", "a/b", "../escaped", "/tmp/abs", "line\nbreak"};
    std::string dir = extractDir();
    for (const std::string& name : names) {
        FileIndexEntry entry(FILE_TYPE_APPLICATION, 1, 4, 10, SString(name.data(), name.size()));
        try {
            entry.extract(m_launcherFile, dir.c_str());
            ADD_FAILURE() << "extracted " << name;
        } catch (const LauncherException& e) {
            EXPECT_EQ(str(e.m_message), "Refusing to extract the embedded file \"" + name +
                                            "\": its name is not a plain file name.");
        }
    }
    EXPECT_TRUE(qvtest::listDirectory(dir).empty());
    EXPECT_EQ(qvtest::listDirectory(m_dir.path()), (std::vector<std::string>{"launcher", "out"}));
}

TEST_F(FileIndexEntryTest, ExtractDoesNotFollowASymbolicLink) {
    makeLauncher("payload");
    std::string dir = extractDir();
    std::string outside = m_dir / "outside.txt";
    writeFile(outside, "precious");
    ASSERT_EQ(symlink(outside.c_str(), (dir + "/app.jar").c_str()), 0);
    FileIndexEntry entry(FILE_TYPE_APPLICATION, 1, 7, 10, "app.jar");
    try {
        entry.extract(m_launcherFile, dir.c_str());
        ADD_FAILURE() << "extracted through the link";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message), "Unable to write " + dir + "/app.jar: it is a symbolic link");
    }
    EXPECT_EQ(readFile(outside), "precious");
}

TEST_F(FileIndexEntryTest, ExtractRefusesToOverwriteTheLauncherFile) {
    makeLauncher("payload");
    std::string before = readFile(m_launcherPath);
    FileIndexEntry entry(FILE_TYPE_LAUNCHER, 1, 7, 10, "launcher");
    try {
        entry.extract(m_launcherFile, m_dir.path().c_str());
        ADD_FAILURE() << "extracted over the launcher";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message),
                  "Refusing to extract the embedded file \"launcher\" over the launcher file "
                  "itself.");
    }
    EXPECT_EQ(readFile(m_launcherPath), before);
}

TEST_F(FileIndexEntryTest, ExtractReplacesAnExistingFileAndMarksPrograms) {
    makeLauncher("abc");
    std::string dir = extractDir();
    for (long type = 0; type <= kHighestFileType; ++type) {
        std::string name = "file" + std::to_string(type);
        writeFile(dir + "/" + name, "a much longer old content");
        FileIndexEntry entry(type, 1, 3, 10, name.c_str());
        entry.extract(m_launcherFile, dir.c_str());
        EXPECT_EQ(readFile(dir + "/" + name), "abc") << name;
        EXPECT_EQ(qvtest::isExecutable(dir + "/" + name), type == 4 || type == 7) << name;
    }
}

TEST_F(FileIndexEntryTest, ExtractFromShortenedLauncherFailsAndLeavesNothing) {
    makeLauncher("only a few bytes");
    std::string dir = extractDir();
    FileIndexEntry entry(FILE_TYPE_APPLICATION, 1, 1000, 10, "app.jar");
    try {
        entry.extract(m_launcherFile, dir.c_str());
        ADD_FAILURE() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message),
                  "Unable to read the embedded file app.jar: unexpected end of file");
    }
    EXPECT_TRUE(qvtest::listDirectory(dir).empty());
}

TEST_F(FileIndexEntryTest, ExtractWithoutLauncherFileFails) {
    const SString missing = (m_dir / "missing").c_str();
    EXPECT_FALSE(m_launcherFile.open(missing, missing));
    FileIndexEntry entry(FILE_TYPE_APPLICATION, 1, 1, 10, "app.jar");
    const std::string expected[] = {"The launcher file " + (m_dir / "missing") +
                                        " is not open: the embedded file app.jar cannot be read.",
                                    "No launcher file holds the embedded file app.jar"};
    for (int i = 0; i < 2; ++i) {
        try {
            if (i == 0) {
                entry.extract(m_launcherFile, extractDir().c_str());
            } else {
                entry.extract(extractDir().c_str());
            }
            ADD_FAILURE() << "no exception";
        } catch (const LauncherException& e) {
            EXPECT_EQ(str(e.m_message), expected[i]);
        }
    }
    EXPECT_TRUE(qvtest::listDirectory(extractDir()).empty());
}

// A run's extracted files share the one run directory; a second file of a name already there
// gets a directory of its own instead of overwriting the first. Reads stay inside the entry.
TEST_F(FileIndexEntryTest, ExtractForRunSharesTheRunDirectoryWithoutOverwriting) {
    PlatformImpl::resetForTest();
    makeLauncher("firstsecondapp");
    FileIndexEntry first(FILE_TYPE_CLASSPATH, 1, 5, 10, "lib.jar");
    FileIndexEntry second(FILE_TYPE_CLASSPATH, 2, 6, 15, "lib.jar");
    FileIndexEntry app(FILE_TYPE_APPLICATION, 3, 3, 21, "app.jar");
    for (FileIndexEntry* entry : {&first, &second, &app}) {
        entry->setLauncherFile(&m_launcherFile);
    }
    const std::string run = str(PlatformImpl::runDirectory());
    const std::string paths[] = {str(first.extractForRun()), str(second.extractForRun()),
                                 str(app.extractForRun())};
    EXPECT_EQ(paths[0], run + "/lib.jar");
    EXPECT_NE(paths[1].substr(0, run.size() + 1), run + "/");
    EXPECT_EQ(paths[2], run + "/app.jar");
    EXPECT_EQ(readFile(paths[0]) + readFile(paths[1]) + readFile(paths[2]), "firstsecondapp");
    EXPECT_EQ(str(PlatformImpl::runDirectory()), run);

    char bytes[8] = {};
    EXPECT_EQ(second.readSomeAt(bytes, sizeof bytes, 2), 4);
    EXPECT_EQ(std::string(bytes, 4), "cond");
    EXPECT_EQ(second.readSomeAt(bytes, sizeof bytes, 6), 0);
    EXPECT_EQ(second.readSomeAt(bytes, sizeof bytes, 7), -1);
    PlatformImpl::cleanup();
    EXPECT_FALSE(qvtest::exists(run));
    PlatformImpl::resetForTest();
}

TEST_F(FileIndexEntryTest, LoadTagFileReadsOnlyTagFileTypesAndNamesTheEmbeddedFile) {
    makeLauncher("A: 1\nB: 2\n");
    FILE* file = std::fopen(m_launcherPath.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    for (long type = 0; type <= kHighestFileType; ++type) {
        FileIndexEntry entry(type, 1, 10, 10, "embedded.tag");
        entry.loadTagFile(file);
        if (type <= 2) {
            ASSERT_NE(entry.getTagFile(), nullptr) << type;
            EXPECT_EQ(str(entry.getTagFile()->getTagValue("B", 0)), "2");
            EXPECT_EQ(str(entry.getTagFile()->fileName()), "embedded.tag");
        } else {
            EXPECT_EQ(entry.getTagFile(), nullptr) << type;
        }
    }
    std::fclose(file);
}

}  // namespace

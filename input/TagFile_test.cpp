#include "input/TagFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/LauncherException.h"
#include "launcher/Launcher.h"
#include "platform/unix/BinaryFile.h"
#include "tests/support/LauncherTestSupport.h"

namespace {

typedef std::vector<std::pair<std::string, std::vector<std::string>>> Tags;

std::string str(const SString& text) {
    return std::string(text.c_str(), text.length());
}

// The tags of a loaded file, in entry order, as plain strings.
Tags tagsOf(const TagFile& file) {
    Tags tags;
    const TagFileEntryPtrDeque& entries = file.entries();
    for (long i = 0; i < entries.size(); ++i) {
        std::vector<std::string> values;
        for (long v = 0; v < entries.at(i)->m_values->size(); ++v) {
            values.push_back(str(entries.at(i)->m_values->at(v)));
        }
        tags.emplace_back(str(entries.at(i)->m_name), values);
    }
    return tags;
}

std::string describe(const Tags& tags) {
    std::ostringstream out;
    for (const auto& tag : tags) {
        out << "[" << tag.first << "]";
        for (const auto& value : tag.second) {
            out << " <" << value << ">";
        }
        out << "\n";
    }
    return out.str();
}

class TagFileTest : public ::testing::Test {
protected:
    void TearDown() override { Log::setLogFileName(SString()); }

    std::string path(const char* name) const { return m_dir / name; }

    std::string writeFile(const char* name, const std::string& content) const {
        std::string filePath = path(name);
        qvtest::writeFile(filePath, content);
        return filePath;
    }

    static std::string readFile(const std::string& filePath) { return qvtest::readFile(filePath); }

    // Loads content as a tag file named displayName; returns the thrown message, if any.
    std::string loadContent(const std::string& content, TagFile& tagFile,
                            const char* displayName = "x.tag") const {
        std::string filePath = writeFile("load.tag", content);
        FILE* file = std::fopen(filePath.c_str(), "r");
        EXPECT_NE(file, nullptr);
        std::string error;
        try {
            tagFile.load(file, displayName, 0, -1);
        } catch (const LauncherException& e) {
            error = str(e.m_message);
        }
        std::fclose(file);
        return error;
    }

    qvtest::TemporaryDirectory m_dir{"qvtest-input"};
};

TEST_F(TagFileTest, ParsesTheFormat) {
    struct Case {
        const char* content;
        Tags expected;
    };
    const Case cases[] = {
        {"A:   x y  \n", {{"A", {"x y"}}}},
        {"A: \"say \"\"hi\"\"\" trailing text\n", {{"A", {"say \"hi\""}}}},
        {"A: \"  padded  \"\n", {{"A", {"  padded  "}}}},
        {"A: \"\"\n", {{"A", {""}}}},
        {"A:\n1\n\n\"  2\"\n/:\n", {{"A", {"1", "  2"}}}},
        {"A:\n  x\n  \"/:\"\nB: y\n", {{"A", {"x"}}, {"B", {"y"}}}},
        {"A: 1\nA: 2\n", {{"A", {"2"}}}},
        {"A: 1\nB: 2\nA:\n/:\n", {{"B", {"2"}}}},
        {"A: 1\nB: 2\nA: 3\n", {{"B", {"2"}}, {"A", {"3"}}}},
        {"  inner name  : v:w \n", {{"inner name", {"v:w"}}}},
        {": v\n", {{"", {"v"}}}},
        {"A: /:\n", {{"A", {"/:"}}}},
        {"A: x\r\nB:\r\n  y\r\n  z\r\n/:\r\n", {{"A", {"x"}}, {"B", {"y", "z"}}}},
        {"A: no final line feed", {{"A", {"no final line feed"}}}},
        {"\n\n   \n", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        TagFile tagFile;
        EXPECT_EQ(loadContent(c.content, tagFile), "") << c.content;
        EXPECT_TRUE(tagFile.isLoaded()) << c.content;
        EXPECT_EQ(describe(tagsOf(tagFile)), describe(c.expected)) << c.content;
    }
}

TEST_F(TagFileTest, SyntaxErrorIsLoggedAndThrown) {
    std::string logPath = path("launcher.log");
    Log::setLogFileName(logPath.c_str());
    struct Case {
        const char* content;
        const char* expected;
    };
    const Case cases[] = {
        {"A: 1\n\nno colon here\nB: 2\n",
         "Syntax error in x.tag at line 3 ==> Missing colon at the end of the tag name."},
        {"A: 1\nB:\n  x\n\n  y\n", "Syntax error in x.tag at line 2 ==> Missing /: tag completer."},
        {"B:", "Syntax error in x.tag at line 1 ==> Missing /: tag completer."},
    };
    for (const Case& c : cases) {
        TagFile tagFile;
        EXPECT_EQ(loadContent(c.content, tagFile), c.expected) << c.content;
        EXPECT_FALSE(tagFile.isLoaded()) << c.content;
        std::string expectedRecord = std::string("ERROR: ") + c.expected + "\n";
        EXPECT_NE(readFile(logPath).find(expectedRecord), std::string::npos) << c.content;
    }
}

TEST_F(TagFileTest, KeepsTagsReadBeforeAnError) {
    TagFile tagFile;
    EXPECT_NE(loadContent("A: 1\noops\nB: 2\n", tagFile), "");
    EXPECT_EQ(describe(tagsOf(tagFile)), describe({{"A", {"1"}}}));
}

TEST_F(TagFileTest, UnterminatedQuoteIsThrownWithoutSyntaxWrapping) {
    std::string logPath = path("launcher.log");
    Log::setLogFileName(logPath.c_str());
    const char* contents[] = {"A: \"open\n", "A:\n  \"open\n/:\n"};
    for (const char* content : contents) {
        TagFile tagFile;
        std::string error = loadContent(content, tagFile);
        EXPECT_EQ(error.rfind("Expected double quote to end argument near ", 0), 0u)
            << content << " gave " << error;
    }
    EXPECT_EQ(readFile(logPath).find("Syntax error"), std::string::npos);
}

TEST_F(TagFileTest, PathConstructorReportsMissingAndUnreadableFiles) {
    std::string missing = path("missing.tag");
    try {
        TagFile tagFile{SString(missing.c_str())};
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message), "Unable to load input file: " + missing);
    }
    // A directory opens as a stream on Linux but every read fails: the load must stop.
    try {
        TagFile tagFile{SString(m_dir.path().c_str())};
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message), "Unable to read tag file.");
    }
}

TEST_F(TagFileTest, LoadsFromOffsetAndLengthInsideALargerStream) {
    const std::string prefix = "garbage without colon\n";
    const std::string tags = "A: 1\nB:\n  x\n  y\n/:\nC: 3\n";
    const std::string suffix = "more garbage\nD: 4\n";
    std::string filePath = writeFile("big.bin", prefix + tags + suffix);
    FILE* file = std::fopen(filePath.c_str(), "r");
    ASSERT_NE(file, nullptr);
    TagFile tagFile;
    tagFile.load(file, "embedded.tag", static_cast<long>(prefix.size()),
                 static_cast<long>(tags.size()));
    std::fclose(file);
    EXPECT_EQ(describe(tagsOf(tagFile)), describe({{"A", {"1"}}, {"B", {"x", "y"}}, {"C", {"3"}}}));
}

TEST_F(TagFileTest, LengthLimitAppliesBetweenTagsOnly) {
    // The limit falls inside the block of B and inside the line of C: both are read whole,
    // and reading stops before D.
    const std::string content = "A: 1\nB:\n  x\n/:\nC: 3\nD: 4\n";
    std::string filePath = writeFile("limit.tag", content);
    struct Case {
        long length;
        Tags expected;
    };
    const Case cases[] = {
        {0, {}},
        {1, {{"A", {"1"}}}},
        {9, {{"A", {"1"}}, {"B", {"x"}}}},
        {17, {{"A", {"1"}}, {"B", {"x"}}, {"C", {"3"}}}},
        {-1, {{"A", {"1"}}, {"B", {"x"}}, {"C", {"3"}}, {"D", {"4"}}}},
    };
    for (const Case& c : cases) {
        FILE* file = std::fopen(filePath.c_str(), "r");
        ASSERT_NE(file, nullptr);
        TagFile tagFile;
        tagFile.load(file, "limit.tag", 0, c.length);
        std::fclose(file);
        EXPECT_EQ(describe(tagsOf(tagFile)), describe(c.expected)) << "length " << c.length;
    }
}

// A stream of head followed by unit repeated, total bytes in all, made as it is read: a device
// that never ends a line, or a file larger than any test should write.
class GeneratedStream {
public:
    GeneratedStream(std::string head, std::string unit, size_t total)
        : m_head(std::move(head)), m_unit(std::move(unit)), m_total(total) {
        cookie_io_functions_t functions = {&GeneratedStream::read, nullptr, &GeneratedStream::seek,
                                           nullptr};
        m_file = fopencookie(this, "r", functions);
    }
    GeneratedStream(const GeneratedStream&) = delete;
    GeneratedStream& operator=(const GeneratedStream&) = delete;
    ~GeneratedStream() { std::fclose(m_file); }
    FILE* get() const { return m_file; }

private:
    static ssize_t read(void* cookie, char* buffer, size_t size) {
        GeneratedStream* self = static_cast<GeneratedStream*>(cookie);
        size_t n = 0;
        while (n < size && self->m_at < self->m_total) {
            size_t at = self->m_at;
            const std::string& part = at < self->m_head.size() ? self->m_head : self->m_unit;
            size_t from = at < self->m_head.size() ? at : (at - self->m_head.size()) % part.size();
            size_t count = std::min({size - n, part.size() - from, self->m_total - at});
            std::memcpy(buffer + n, part.data() + from, count);
            n += count;
            self->m_at += count;
        }
        return static_cast<ssize_t>(n);
    }
    static int seek(void* cookie, off64_t* offset, int whence) {
        GeneratedStream* self = static_cast<GeneratedStream*>(cookie);
        off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? self->m_at : self->m_total;
        self->m_at = static_cast<size_t>(base + *offset);
        *offset = static_cast<off64_t>(self->m_at);
        return 0;
    }

    std::string m_head;
    std::string m_unit;
    size_t m_total;
    size_t m_at = 0;
    FILE* m_file;
};

TEST_F(TagFileTest, LinesAndFilesHaveBounds) {
    const size_t maxLine = TagFile::kMaxLineLength;
    const std::string longest = "A: " + std::string(maxLine - 3, 'x');
    const std::string mebibyteLine = "A: " + std::string(1 << 20, 'x') + "\n";
    const std::string tooLong = "Line longer than 2097152 bytes.";
    struct Case {
        const char* what;
        std::string head;
        std::string unit;
        size_t total;
        long offset;
        long length;
        std::string expected;  // the error, or the value count of A
    };
    const Case cases[] = {
        {"longest line", longest + "\n", "", longest.size() + 1, 0, -1, "1"},
        {"a byte more", "B: 1\n" + longest + "y\n", "", longest.size() + 7, 0, -1,
         "Syntax error in x.tag at line 2 ==> " + tooLong},
        {"zeros", "", std::string(1, '\0'), size_t{1} << 30, 0, -1,
         "Syntax error in x.tag at line 1 ==> " + tooLong},
        {"embedded, then zeros", "junk\nA: 1\nB: 2", std::string(1, '\0'), size_t{1} << 30, 5, 9,
         "Syntax error in x.tag at line 2 ==> " + tooLong},
        {"64 MiB in all", "", mebibyteLine, 64 * mebibyteLine.size(), 0, -1,
         "Syntax error in x.tag at line 64 ==> Tag file longer than 67108864 bytes."},
    };
    for (const Case& c : cases) {
        GeneratedStream stream(c.head, c.unit, c.total);
        TagFile tagFile;
        std::string outcome;
        try {
            tagFile.load(stream.get(), "x.tag", c.offset, c.length);
            outcome = std::to_string(tagFile.getTagValueCount("A"));
        } catch (const LauncherException& e) {
            outcome = str(e.m_message);
        }
        EXPECT_EQ(outcome, c.expected) << c.what;
    }
}

// The tag index against a plain list searched from the front: random definitions,
// redefinitions, removals and changes over a few hundred names keep the same tags in the same
// order, and the same lookups, however many removed entries wait for their sweep.
TEST_F(TagFileTest, IndexedTagsBehaveAsAListSearchedInOrder) {
    std::mt19937 random(7);
    TagFile tagFile;
    Tags model;
    auto find = [&model](const std::string& name) {
        return std::find_if(model.begin(), model.end(),
                            [&name](const auto& tag) { return tag.first == name; });
    };
    for (int round = 0; round < 20; ++round) {
        std::string text;
        for (int line = 0; line < 200; ++line) {
            std::string name = "T" + std::to_string(random() % 300);
            std::string value = std::to_string(random());
            text += name + ": " + value + "\n";
            if (find(name) != model.end()) {
                model.erase(find(name));
            }
            model.emplace_back(name, std::vector<std::string>{value});
        }
        ASSERT_EQ(loadContent(text, tagFile), "");
        for (int change = 0; change < 100; ++change) {
            std::string name = "T" + std::to_string(random() % 400);
            auto tag = find(name);
            switch (random() % 3) {
                case 0:
                    tagFile.removeValue(name.c_str());
                    if (tag != model.end()) {
                        model.erase(tag);
                    }
                    break;
                case 1:
                    tagFile.appendTagValue(name.c_str(), "more");
                    (tag != model.end()
                         ? tag->second
                         : model.emplace_back(name, std::vector<std::string>{}).second)
                        .push_back("more");
                    break;
                default:
                    tagFile.setTagValue(name.c_str(), "set");
                    (tag != model.end()
                         ? tag->second
                         : model.emplace_back(name, std::vector<std::string>{}).second) = {"set"};
            }
            tag = find(name);
            ASSERT_EQ(tagFile.getTagValueCount(name.c_str()),
                      tag == model.end() ? 0u : tag->second.size())
                << name;
        }
        ASSERT_EQ(describe(tagsOf(tagFile)), describe(model)) << "round " << round;
    }
}

TEST_F(TagFileTest, SecondLoadMerges) {
    TagFile tagFile;
    loadContent("A: 1\nB: 2\n", tagFile);
    loadContent("B: 3\nC: 4\n", tagFile);
    EXPECT_EQ(describe(tagsOf(tagFile)), describe({{"A", {"1"}}, {"B", {"3"}}, {"C", {"4"}}}));
}

TEST_F(TagFileTest, LookupsAndChanges) {
    TagFile tagFile;
    loadContent("A: 1\nM:\n  p\n  q\n  r\n/:\n", tagFile);
    EXPECT_EQ(tagFile.getValue("a"), nullptr);
    EXPECT_EQ(tagFile.getTagValueCount("M"), 3u);
    EXPECT_EQ(tagFile.getTagValueCount("absent"), 0u);
    EXPECT_EQ(str(tagFile.getTagValue("M", 2)), "r");
    EXPECT_EQ(str(tagFile.getTagValue("A", 1)), "");
    EXPECT_EQ(str(tagFile.getTagValue("absent", 0)), "");

    tagFile.setTagValue("M", "only");
    tagFile.appendTagValue("A", "2");
    tagFile.appendTagValue("N", "new");
    tagFile.setTagValue("S", "set");
    tagFile.removeValue("absent");
    EXPECT_EQ(describe(tagsOf(tagFile)),
              describe({{"A", {"1", "2"}}, {"M", {"only"}}, {"N", {"new"}}, {"S", {"set"}}}));
    tagFile.removeValue("A");
    EXPECT_EQ(tagFile.getValue("A"), nullptr);
    EXPECT_EQ(tagFile.entries().size(), 3);
}

TEST_F(TagFileTest, BoolValues) {
    struct Case {
        const char* value;  // null: tag absent
        bool defaultValue;
        bool expected;
    };
    const Case cases[] = {
        {"1", false, true},     {"2", false, true},      {"-1", false, true},
        {"0", true, false},     {"yes", true, true},     {"yes", false, false},
        {nullptr, true, true},  {nullptr, false, false}, {" 7x", false, true},
        {"65536", true, false}, {"", true, true},
    };
    for (const Case& c : cases) {
        TagFile tagFile;
        if (c.value != nullptr) {
            tagFile.setTagValue("B", c.value);
        }
        EXPECT_EQ(tagFile.getBoolTagValue("B", c.defaultValue), c.expected)
            << (c.value ? c.value : "(absent)") << " default " << c.defaultValue;
    }
    TagFile tagFile;
    tagFile.setBoolTagValue("T", true);
    tagFile.setBoolTagValue("F", false);
    EXPECT_EQ(describe(tagsOf(tagFile)), describe({{"T", {"1"}}, {"F", {"0"}}}));
}

TEST_F(TagFileTest, DynamicJVMTags) {
    TagFile tagFile;
    tagFile.setTagValue("JVM_HOME", "old");
    tagFile.setDynamicJVMTags("/opt/jdk", "/tmp/jvm", true);
    EXPECT_EQ(
        describe(tagsOf(tagFile)),
        describe({{"JVM_HOME", {"/opt/jdk"}}, {"JVM_FILE", {"/tmp/jvm"}}, {"JVM_TEMP", {"1"}}}));
}

TEST_F(TagFileTest, WriteLayout) {
    TagFile tagFile;
    tagFile.setTagValue("A", "x");
    tagFile.setTagValue("T", "trailing ");
    tagFile.setTagValue("Q", "say \"hi\"");
    tagFile.setTagValue("E", "");
    tagFile.appendTagValue("M", "1");
    tagFile.appendTagValue("M", " 2");
    tagFile.appendTagValue("Gone", "v");
    tagFile.getValue("Gone")->clear();
    std::string out = path("out.tag");
    tagFile.write(out.c_str());
    EXPECT_EQ(readFile(out),
              "A:  x\n"
              "T:  \"trailing \"\n"
              "Q:  \"say \"\"hi\"\"\"\n"
              "E:  \"\"\n"
              "M:\n  1\n  \" 2\"\n/:\n");
}

TEST_F(TagFileTest, WriteRefusesWhatCannotReadBack) {
    struct Case {
        const char* name;
        std::string value;
    };
    const Case cases[] = {
        {"A", "line\nINJECTED: yes"},
        {"A", "carriage\rreturn"},
        {"A", std::string("nul\0byte", 8)},
        {"A:B", "v"},
        {" A", "v"},
        {"A\n", "v"},
    };
    for (const Case& c : cases) {
        std::string out = path("refused.tag");
        std::remove(out.c_str());
        TagFile tagFile;
        tagFile.setTagValue("OK", "fine");
        tagFile.setTagValue(c.name, SString(c.value.data(), c.value.size()));
        EXPECT_THROW(tagFile.write(out.c_str()), LauncherException) << c.name << c.value;
        EXPECT_NE(access(out.c_str(), F_OK), 0) << "partial file for " << c.name << c.value;
    }
}

TEST_F(TagFileTest, WriteToUnopenablePathFails) {
    TagFile tagFile;
    tagFile.setTagValue("A", "x");
    std::string out = path("no/such/dir.tag");
    try {
        tagFile.write(out.c_str());
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message), "Unable to write tag file " + out);
    }
}

// A file made in a directory that others may write to is written through the descriptor that
// made it: a link put at its name meanwhile leads nowhere. Written by name, a link is refused.
TEST_F(TagFileTest, WritesThroughTheDescriptorAndRefusesALinkAtAName) {
    std::string victim = writeFile("victim", "precious");
    TagFile tagFile;
    tagFile.setTagValue("A", "x");

    std::string made = path("madeXXXXXX");
    BinaryFile file;
    ASSERT_TRUE(file.createUnique(&made[0]));
    ASSERT_TRUE(file.writeAll("a much longer old content", 25));
    ASSERT_EQ(0, rename(made.c_str(), path("moved").c_str()));
    ASSERT_EQ(0, symlink(victim.c_str(), made.c_str()));
    tagFile.write(file, made.c_str());
    EXPECT_EQ(readFile(path("moved")), "A:  x\n");
    EXPECT_FALSE(file.isOpen());

    try {
        tagFile.write(made.c_str());
        ADD_FAILURE() << "wrote through the link";
    } catch (const LauncherException& e) {
        EXPECT_EQ(str(e.m_message), "Unable to write tag file " + made + ": it is a symbolic link");
    }
    EXPECT_EQ(readFile(victim), "precious");
}

// Values the writer can represent: no line break or NUL; "/:" and "" only as single values.
std::string randomValue(std::mt19937& random, bool inBlock) {
    static const char kAlphabet[] = "ab Z09:\"/\t-=#'\\$%";
    static const std::string kSpecial[] = {"\"", "\"\"", " ", "\t", "/:", "", ":", " \" ", "/:x"};
    for (;;) {
        std::string value;
        if (random() % 4 == 0) {
            value = kSpecial[random() % (sizeof kSpecial / sizeof kSpecial[0])];
        } else {
            size_t length = random() % 12;
            for (size_t i = 0; i < length; ++i) {
                value += kAlphabet[random() % (sizeof kAlphabet - 1)];
            }
        }
        if (!inBlock || (!value.empty() && value != "/:")) {
            return value;
        }
    }
}

TEST_F(TagFileTest, WrittenFilesReadBackToTheSameTags) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        TagFile original;
        Tags expected;
        int tagCount = static_cast<int>(random() % 6);
        for (int t = 0; t < tagCount; ++t) {
            std::string name = "T" + std::to_string(t) + (random() % 2 ? " x_y" : "");
            size_t valueCount = 1 + random() % 4;
            std::vector<std::string> values;
            for (size_t v = 0; v < valueCount; ++v) {
                values.push_back(randomValue(random, valueCount > 1));
                original.appendTagValue(name.c_str(), values.back().c_str());
            }
            expected.emplace_back(name, values);
        }
        std::string out = path("round.tag");
        original.write(out.c_str());
        TagFile reread{SString(out.c_str())};
        ASSERT_EQ(describe(tagsOf(reread)), describe(expected)) << "written:\n" << readFile(out);
    }
}

}  // namespace

#include "jvm/JVMFile.h"

#include <gtest/gtest.h>

#include <string>

#include "input/TagFile.h"
#include "tests/support/LauncherTestSupport.h"

namespace {

using qvtest::str;

TEST(JVMFileTest, ResolvesTagMacros) {
    TagFile tags;
    tags.setTagValue(g_jvmHomeTag, "C:\\jdk\\");
    tags.setTagValue(g_descTag, "Java 8");
    tags.setTagValue("OTHER", "keeps\\");
    tags.setTagValue("NESTED", "@DESC@!");
    tags.appendTagValue("NESTED", "second value");
    JVMFile jvmFile(tags);
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"@JVM_HOME@/bin/java", "C:\\jdk/bin/java"},
        {"@OTHER@", "keeps\\"},
        {"@NESTED@", "Java 8!"},
        {"[@MISSING@]", "[]"},
        {"mail@@host", "mail@host"},
        // "@@" is no macro of its own: it pairs with the next "@", naming the tag "@x".
        {"@@x@DESC@", "DESC@"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, str(jvmFile.resolve(c.text))) << c.text;
    }
}

// Counts destructions, so that the list's ownership can be seen.
class CountedJVMFile : public JVMFile {
public:
    CountedJVMFile(TagFile& tags, int& destroyed) : JVMFile(tags), m_destroyed(destroyed) {}
    ~CountedJVMFile() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

TEST(JVMFileTest, ListDeletesOnlyOwnedElements) {
    TagFile tags;
    int destroyed = 0;
    CountedJVMFile borrowed(tags, destroyed);
    {
        JVMFilePtrDeque list;
        list.push_back(new CountedJVMFile(tags, destroyed), true);
        list.push_back(&borrowed, false);
        list.insert(0, new CountedJVMFile(tags, destroyed), true);
        EXPECT_EQ(&borrowed, list.back());
        list.erase(2);
        list.push_back(&borrowed, false);
        EXPECT_EQ(0, destroyed);
        list.erase(0);
        EXPECT_EQ(1, destroyed);
    }
    // The list's end deleted the owned element that was left, not the borrowed one.
    EXPECT_EQ(2, destroyed);
}

}  // namespace

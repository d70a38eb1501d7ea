#include "base/GenericDeque.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/PtrDeque.h"
#include "base/StringDeque.h"

namespace {

// Records its own destruction so tests can see which elements a list deleted.
struct Tracked {
    explicit Tracked(int id, std::vector<int>* deleted) : m_id(id), m_deleted(deleted) {}
    ~Tracked() { m_deleted->push_back(m_id); }
    int m_id;
    std::vector<int>* m_deleted;
};

typedef PtrDeque<Tracked> TrackedPtrDeque;

TEST(GenericDequeTest, StartsAtThirtyAndDoubles) {
    std::vector<int> deleted;
    TrackedPtrDeque list;
    EXPECT_EQ(0, list.capacity());
    for (int i = 0; i < 61; ++i) {
        list.push_back(new Tracked(i, &deleted));
        EXPECT_EQ(i < 30   ? 30
                  : i < 60 ? 60
                           : 120,
                  list.capacity())
            << "after " << i + 1 << " entries";
    }
    list.resize(100);
    EXPECT_EQ(120, list.capacity());
    list.resize(241);
    EXPECT_EQ(480, list.capacity());
    EXPECT_EQ(61, list.size());
    EXPECT_EQ(60, list.back()->m_id);
    EXPECT_TRUE(deleted.empty());

    list.resize(10);
    EXPECT_EQ(10, list.size());
    EXPECT_EQ(480, list.capacity());
    EXPECT_EQ(51u, deleted.size());
    EXPECT_EQ(nullptr, list.at(10));
    EXPECT_EQ(9, list.back()->m_id);
}

TEST(GenericDequeTest, BadIndexesGiveNull) {
    std::vector<int> deleted;
    TrackedPtrDeque list;
    EXPECT_EQ(nullptr, list.at(-1));
    EXPECT_EQ(nullptr, list.at(0));
    EXPECT_EQ(nullptr, list.back());
    list.push_back(new Tracked(1, &deleted));
    EXPECT_EQ(nullptr, list.at(1));
    list.erase(5);
    EXPECT_EQ(1, list.size());
}

TEST(GenericDequeTest, InsertShiftsAndEraseDeletes) {
    std::vector<int> deleted;
    {
        TrackedPtrDeque list;
        list.push_back(new Tracked(1, &deleted));
        list.push_back(new Tracked(3, &deleted));
        list.insert(1, new Tracked(2, &deleted));
        list.insert(-5, new Tracked(4, &deleted));
        Tracked notStored(99, &deleted);
        list.insert(list.size(), &notStored);
        ASSERT_EQ(4, list.size());
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(i + 1, list.at(i)->m_id);
        }
        list.erase(0);
        EXPECT_EQ(std::vector<int>{1}, deleted);
        EXPECT_EQ(2, list.at(0)->m_id);
        EXPECT_EQ(3, list.at(1)->m_id);
        list.clear();
        EXPECT_EQ(0, list.size());
        EXPECT_EQ(30, list.capacity());
        EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), deleted);
    }
    // The element the list refused stays the caller's.
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 99}), deleted);
}

TEST(GenericDequeTest, EraseIfDeletesTheChosenAndKeepsTheOrder) {
    std::vector<int> deleted;
    TrackedPtrDeque list;
    for (int i = 0; i < 7; ++i) {
        list.push_back(new Tracked(i, &deleted));
    }
    std::vector<long> indexes;
    list.eraseIf([&indexes](long i, const Tracked* element) {
        indexes.push_back(i);
        return element->m_id % 3 != 1;
    });
    EXPECT_EQ((std::vector<long>{0, 1, 2, 3, 4, 5, 6}), indexes);
    EXPECT_EQ((std::vector<int>{0, 2, 3, 5, 6}), deleted);
    ASSERT_EQ(2, list.size());
    EXPECT_EQ(1, list.at(0)->m_id);
    EXPECT_EQ(4, list.at(1)->m_id);
    EXPECT_EQ(nullptr, list.at(2));
}

TEST(StringDequeTest, StoresCopiesAndGivesEmptyForBadIndex) {
    StringDeque list;
    SString value("value");
    list.push_back(value);
    value += "changed";
    EXPECT_EQ(0, list.at(0).compare("value"));
    EXPECT_TRUE(list.at(1).empty());
    EXPECT_TRUE(list.at(-1).empty());
    EXPECT_EQ(&StringDeque::emptyString, &list.at(7));
    // Whatever a caller wrote into the shared empty string does not leak to the next caller.
    list.at(7) = "scribbled";
    EXPECT_TRUE(list.at(8).empty());
    list.insert(0, "first");
    EXPECT_EQ(0, list.at(0).compare("first"));
    EXPECT_EQ(0, list.back().compare("value"));
    const StringDeque& constList = list;
    EXPECT_TRUE(constList.at(2).empty());
}

}  // namespace

#include "runtime/kernel/object_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/test_platform.h"

namespace quendrel {
namespace {

struct ObjectListTest : ::testing::Test {
    TestPlatform platform;
    MessageBoxes boxes{platform};
};

TEST_F(ObjectListTest, HandlesCountUpAndRecordsNeverMove) {
    ObjectList list(boxes, 24, false);
    std::vector<void*> records;
    for (int64_t h = 1; h <= 40; ++h) {
        ASSERT_EQ(list.list_add(), h);
        records.push_back(list.list_get(h));
        ASSERT_NE(records.back(), nullptr);
        std::memset(records.back(), int(h), 24);
    }
    for (int64_t h = 1; h <= 40; ++h) {
        EXPECT_EQ(list.list_get(h), records[size_t(h - 1)]);
        EXPECT_EQ(list.list_handle_of(records[size_t(h - 1)]), h);
        EXPECT_EQ(static_cast<uint8_t*>(records[size_t(h - 1)])[23], uint8_t(h));
    }
}

TEST_F(ObjectListTest, BlocksHoldOneThreeSevenRecords) {
    ObjectList list(boxes, 16, false);
    // Records of one block are one stride apart; a new block starts after
    // handles 1, 4 and 11.
    std::vector<uint8_t*> r(1);
    for (int i = 1; i <= 12; ++i) {
        list.list_add();
        r.push_back(static_cast<uint8_t*>(list.list_get(i)));
    }
    for (int h : {3, 4, 6, 7, 8, 9, 10, 11}) EXPECT_EQ(r[h] - r[h - 1], list.stride()) << h;
    EXPECT_EQ(list.stride(), 24u);
}

TEST_F(ObjectListTest, RemovedHandleIsReusedWithItsRecordZeroed) {
    ObjectList list(boxes, 8, false);
    for (int i = 0; i < 3; ++i) list.list_add();
    std::memset(list.list_get(2), 0xAB, 8);
    EXPECT_EQ(list.list_remove(2), -1);
    EXPECT_EQ(list.list_get(2), nullptr);
    EXPECT_EQ(list.list_remove(2), 0);  // already free
    EXPECT_EQ(list.list_add(), 2);
    const uint8_t* record = static_cast<uint8_t*>(list.list_get(2));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(record[i], 0);
    EXPECT_EQ(list.list_add(), 4);
}

TEST_F(ObjectListTest, OutOfRangeHandlesFindNothing) {
    ObjectList list(boxes, 8, false);
    list.list_add();
    for (int64_t h : {int64_t(0), int64_t(-1), int64_t(2), int64_t(1) << 40}) {
        EXPECT_EQ(list.list_get(h), nullptr) << h;
        EXPECT_EQ(list.list_remove(h), 0) << h;
    }
}

TEST_F(ObjectListTest, LockedListServesReadersWhileItGrows) {
    ObjectList list(boxes, 80, true);
    std::atomic<bool> done{false};
    std::atomic<int64_t> bad{0};
    std::thread reader([&] {
        while (!done) {
            int64_t n = list.count();
            for (int64_t h = 1; h <= n; ++h)
                if (list.list_get(h) && list.list_handle_of(list.list_get(h)) != h) ++bad;
        }
    });
    for (int i = 0; i < 5000; ++i) {
        int64_t h = list.list_add();
        if (i % 3 == 0) list.list_remove(h);
    }
    done = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(MutexTest, NullHandlesAreIgnored) {
    mutex_lock(nullptr);
    mutex_unlock(nullptr);
    MutexHandle m = mutex_create();
    ASSERT_NE(m, nullptr);
    mutex_lock(m);
    EXPECT_FALSE(m->try_lock());
    mutex_unlock(m);
    mutex_destroy(m);
}

}  // namespace
}  // namespace quendrel

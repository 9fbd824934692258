// Queue rules: exact growth, take from the front, status records.
#include <gtest/gtest.h>

#include "portlib/VexalQueue.h"

using vexal::CVexalData;
using vexal::CVexalStatus;

TEST(QueueRules, StartsEmptyWithItsCapacity) {
    CVexalData data(7);
    EXPECT_EQ(data.DeviceId(), 7u);
    EXPECT_EQ(data.Count(), 0u);
    EXPECT_EQ(data.Capacity(), 1024u);
    EXPECT_EQ(CVexalStatus(12).Capacity(), 12u);
}

TEST(QueueRules, GrowsToExactlyTheNeededSizeAndKeepsOrder) {
    CVexalData q(0, 4);
    const uint8_t a[] = {1, 2, 3};
    const uint8_t b[] = {4, 5, 6, 7, 8};
    q.Append(a, 3);
    EXPECT_EQ(q.Capacity(), 4u);  // fits: no growth
    q.Append(b, 5);
    EXPECT_EQ(q.Capacity(), 8u);  // exactly count + n
    EXPECT_EQ(q.Count(), 8u);
    uint8_t out[8] = {};
    EXPECT_EQ(q.Take(out, 8), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], i + 1);
    EXPECT_EQ(q.Capacity(), 8u);  // never shrinks
    q.Append(a, 0);
    EXPECT_EQ(q.Count(), 0u);
}

TEST(QueueRules, TakeMovesTheRestToTheFrontAndZeroFillsWhenEmptied) {
    CVexalData q(0, 8);
    const uint8_t a[] = {10, 11, 12, 13, 14, 15, 16, 17};
    q.Append(a, 8);
    uint8_t out[8] = {};
    EXPECT_EQ(q.Take(out, 3), 3u);
    EXPECT_EQ(out[2], 12);
    EXPECT_EQ(q.Count(), 5u);
    EXPECT_EQ(q.Data()[0], 13);
    EXPECT_EQ(q.Take(out, 100), 5u);
    EXPECT_EQ(out[4], 17);
    EXPECT_EQ(q.Count(), 0u);
    for (uint32_t i = 0; i < q.Capacity(); ++i) EXPECT_EQ(q.Data()[i], 0) << i;
    EXPECT_EQ(q.Take(out, 4), 0u);
}

TEST(QueueRules, StatusRecordsComeOutWholeAndOldestFirst) {
    CVexalStatus q(12);
    const uint8_t r[] = {0x14, 0, 0, 0x0F, 0x35, 0x40, 0x41, 0};
    q.Append(r, 8);
    EXPECT_EQ(q.Capacity(), 12u);
    uint8_t out[4] = {9, 9, 9, 9};
    ASSERT_TRUE(q.TakeRecord(out));
    EXPECT_EQ(out[0], 0x14);
    EXPECT_EQ(out[3], 0x0F);
    ASSERT_TRUE(q.TakeRecord(out));
    EXPECT_EQ(out[0], 0x35);
    out[0] = 0xAA;
    EXPECT_FALSE(q.TakeRecord(out));
    EXPECT_EQ(out[0], 0xAA);  // untouched when empty
    q.Append(r, 3);
    EXPECT_FALSE(q.TakeRecord(out));  // fewer than 4 wait
}

#include "MemC.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(MemC, WordsOfAnOwnedChunk)
{
    MemC_c chunk(10, nullptr);
    ASSERT_NE(chunk.getChunkPtr(), nullptr);
    EXPECT_EQ(chunk.getChunkSize(), 10);

    const unsigned char bytes[10] = {1, 0, 0, 0, 2, 0, 0, 0, 9, 9};
    ASSERT_TRUE(chunk.set(bytes, 10));
    int v = -5;
    EXPECT_TRUE(chunk.getLong(1, &v));
    int expect;
    std::memcpy(&expect, bytes + 4, 4);
    EXPECT_EQ(v, expect);

    struct Case { int i; bool ok; };
    const Case cases[] = {{0, true}, {1, true}, {2, false}, {-1, false}, {1 << 30, false}};
    for (const Case& c : cases) {
        v = 77;
        EXPECT_EQ(chunk.getLong(c.i, &v), c.ok) << c.i;
        if (!c.ok) {
            EXPECT_EQ(v, 0) << "a failing getLong clears the output";
        }

        int id = 77;
        EXPECT_EQ(chunk.getChId(c.i, &id), c.ok) << c.i;
        if (!c.ok) {
            EXPECT_EQ(id, 77) << "getChId leaves the output alone outside the words";
        }

        void* p = &v;
        EXPECT_EQ(chunk.getPtr(c.i, &p), c.ok) << c.i;
        EXPECT_EQ(p, c.ok ? static_cast<char*>(chunk.getChunkPtr()) + c.i * 4 : static_cast<void*>(&v));
    }
    EXPECT_FALSE(chunk.getLong(0, nullptr));
}

TEST(MemC, SetCopiesAndZeroes)
{
    unsigned char store[10];
    std::memset(store, 0xAA, sizeof store);
    MemC_c chunk(10, store);
    EXPECT_EQ(chunk.getChunkPtr(), store);

    const unsigned char four[4] = {1, 2, 3, 4};
    ASSERT_TRUE(chunk.set(four, 4));
    const unsigned char afterFour[10] = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(store, afterFour, 10), 0) << "the other 6 bytes are zeroed";

    unsigned char big[20];
    std::memset(big, 0x55, sizeof big);
    ASSERT_TRUE(chunk.set(big, 20));
    EXPECT_EQ(std::memcmp(store, big, 10), 0) << "copies no more than the chunk holds";

    ASSERT_TRUE(chunk.set(big, -3));
    for (unsigned char b : store)
        EXPECT_EQ(b, 0) << "a negative count copies nothing and zeroes all";
    EXPECT_FALSE(chunk.set(nullptr, 4));
}

TEST(MemC, NullBufferAndNegativeSize)
{
    MemC_c chunk(-4, nullptr);
    EXPECT_EQ(chunk.getChunkSize(), 0);
    int v = 3;
    EXPECT_FALSE(chunk.getLong(0, &v));
    EXPECT_EQ(v, 0);

    EXPECT_NE(chunk.getChunkPtr(), nullptr);
    char* text = nullptr;
    EXPECT_FALSE(chunk.getCharPtr(0, &text));
    EXPECT_EQ(text, nullptr) << "no words: the output stays untouched";
}

#include "Flags.h"

#include <gtest/gtest.h>

TEST(Flags, MaskOperations)
{
    Flags_c f;
    EXPECT_FALSE(f.isSet(-1));
    f.set(1 | 2 | 0x10000);
    f.clear(1);
    EXPECT_FALSE(f.isSet(1));
    EXPECT_TRUE(f.isSet(2));
    EXPECT_TRUE(f.isSet(0x10000));
    EXPECT_TRUE(f.isSet(1 | 2)) << "any bit of the mask is enough";
    f.set(static_cast<int>(0x80000000u));
    EXPECT_TRUE(f.isSet(static_cast<int>(0x80000000u)));
    f.clear(-1);
    EXPECT_FALSE(f.isSet(-1));
}

TEST(Flags, Flags128BitsAndWords)
{
    struct Case { int bit; int word; uint32_t mask; };
    const Case cases[] = {{0, 0, 1u}, {31, 0, 0x80000000u}, {32, 1, 1u}, {40, 1, 1u << 8}, {127, 3, 0x80000000u}};
    for (const Case& c : cases) {
        Flags128_c f;
        f.set(c.bit);
        for (int w = 0; w < 4; ++w)
            EXPECT_EQ(f.getWord(w), w == c.word ? c.mask : 0u) << "bit " << c.bit << " word " << w;
        EXPECT_TRUE(f.isSet(c.bit));
    }

    Flags128_c f;
    for (int i : {-1, 128, 1000, -1000}) {
        f.set(i);
        EXPECT_FALSE(f.isSet(i)) << i;
    }
    for (int w = 0; w < 4; ++w)
        EXPECT_EQ(f.getWord(w), 0u) << "bits outside 0..127 change nothing";

    for (int i = 0; i < 128; ++i)
        f.set(i);
    f.clear(40);
    f.clear(128);
    f.clear(-1);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(f.isSet(i), i != 40) << i;
    f.clearAll();
    for (int i = 0; i < 128; ++i)
        EXPECT_FALSE(f.isSet(i)) << i;
}

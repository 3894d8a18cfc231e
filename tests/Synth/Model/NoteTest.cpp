#include "Note.h"

#include <gtest/gtest.h>

TEST(Note, SetClampsIntoRange)
{
    struct Case { int note, velocity; int expectNote, expectVelocity; bool valid, inRange; };
    const Case cases[] = {
        {200, 0, 127, 0, false, true},   // velocity 0: a note event, not a sounding note
        {60, 100, 60, 100, true, true},
        {-5, 300, 0, 127, true, true},
        {0, 1, 0, 1, true, true},
    };
    for (const Case& c : cases) {
        Note_c n;
        n.set(c.note, c.velocity);
        EXPECT_EQ(n.note, c.expectNote) << c.note;
        EXPECT_EQ(n.velocity, c.expectVelocity) << c.velocity;
        EXPECT_EQ(n.isValid(), c.valid) << c.note << "/" << c.velocity;
        EXPECT_EQ(n.isInRange(), c.inRange) << c.note << "/" << c.velocity;
    }

    Note_c n;
    n.set(10, 20);
    n.set(1, 2, 3);
    EXPECT_EQ(n.note, 10) << "a plain note has no channel: the three-value set changes nothing";
    EXPECT_EQ(n.velocity, 20);
}

TEST(Note, ChannelRecordClampsAndTests)
{
    NoteC_c n;
    EXPECT_EQ(n.note, -1);
    EXPECT_EQ(n.velocity, -1);
    EXPECT_EQ(n.channel, -1);
    EXPECT_FALSE(n.isInRange());

    n.note = -5;
    n.velocity = 0;
    n.channel = 20;
    n.validate();
    EXPECT_EQ(n.note, 0);
    EXPECT_EQ(n.velocity, 1);
    EXPECT_EQ(n.channel, 15);
    EXPECT_TRUE(n.isValid());

    n.set(64, 0, -3);
    EXPECT_EQ(n.channel, 0);
    EXPECT_EQ(n.velocity, 0);
    EXPECT_TRUE(n.isInRange());
    EXPECT_FALSE(n.isValid());

    // Through the base class, the two-value set still limits the channel.
    n.channel = 99;
    Note_c& base = n;
    base.set(60, 100);
    EXPECT_EQ(n.channel, 15);
    base.set(61, 90, 2);
    EXPECT_EQ(n.note, 61);
    EXPECT_EQ(n.channel, 2);

    base.reset();
    EXPECT_EQ(n.channel, -1);
    EXPECT_FALSE(base.isInRange()) << "reset then isInRange is false";

    // A record with a bad channel is neither valid nor in range.
    n.set(60, 100, 5);
    n.channel = 16;
    EXPECT_FALSE(n.isValid());
    EXPECT_FALSE(n.isInRange());
    n.validateFwd();
    EXPECT_EQ(n.channel, 15);
    n.channel = -7;
    n.velocity = 0;
    n.limitFwd();
    EXPECT_EQ(n.channel, 0);
    EXPECT_EQ(n.velocity, 0) << "limit keeps velocity 0";
}

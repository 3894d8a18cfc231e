#include "CBitmap.h"
#include "CFrame.h"
#include "EditorTestRig.h"

#include <gtest/gtest.h>

using EditorTest::Rig;
using EditorTest::TestEditor;

namespace {
// Makes exchangeable frames with the given numbers on a 32 x 32 picture.
void makeFrames(TestEditor& e, std::initializer_list<int> numbers)
{
    CBitmap* tile = SynthEditor_c::loadBitmap(300);
    for (int n : numbers)
        e.createExchFrame(n, 0, 0, tile, "panel");
}

// The numbers of the exchangeable frames in 1..767 that are children of parent.
std::vector<int> childrenOf(TestEditor& e, CViewContainer* parent)
{
    std::vector<int> found;
    for (int n = 1; n < SynthEditor_c::MaxExchFrames; ++n)
        if (e.getExchFrame(n) && parent->isChild(e.getExchFrame(n)))
            found.push_back(n);
    return found;
}
} // namespace

TEST(DepMod, SelectorValueShowsExactlyOneChild)
{
    Rig rig;
    TestEditor& e = rig.editor;
    makeFrames(e, {1, 10, 11, 12, 13, 14, 15, 16});
    e.getEditFrame()->addView(e.getExchFrame(1));
    e.defineDepMod(500, 1, 10, 11, 12, 13, 14, 15, 16);
    e.lows[500] = 0;
    struct Case
    {
        int value;
        int shown;
        const char* what;
    };
    const Case cases[] = {
        {0, 10, "first"}, {3, 13, "fourth"}, {6, 16, "last"}, {-2, 10, "below the range: first"},
        {9, 16, "past the list: last"},
    };
    for (const Case& c : cases) {
        e.values[500] = c.value;
        e.updateDepMod(500);
        EXPECT_EQ(childrenOf(e, e.getExchFrame(1)), std::vector<int>{c.shown}) << c.what;
    }
    // A selector with a low value of 2 counts from there.
    e.lows[500] = 2;
    e.values[500] = 3;
    e.updateDepMod(-1);
    EXPECT_EQ(childrenOf(e, e.getExchFrame(1)), std::vector<int>{11});
    // Another selector re-selects nothing.
    e.values[500] = 6;
    e.updateDepMod(777);
    EXPECT_EQ(childrenOf(e, e.getExchFrame(1)), std::vector<int>{11});
}

TEST(DepMod, NestedRulesSettleInOneCall)
{
    Rig rig;
    TestEditor& e = rig.editor;
    makeFrames(e, {1, 2, 3, 4, 5, 6, 7});
    e.getEditFrame()->addView(e.getExchFrame(1));
    // Defined innermost first, so each pass brings up only one more level.
    e.defineDepMod(503, 4, 6, 7);
    e.defineDepMod(502, 2, 4, 5);
    e.defineDepMod(501, 1, 2, 3);
    e.values = {{501, 0}, {502, 0}, {503, 1}};
    e.updateDepMod(-1);
    EXPECT_EQ(childrenOf(e, e.getExchFrame(1)), std::vector<int>{2});
    EXPECT_EQ(childrenOf(e, e.getExchFrame(2)), std::vector<int>{4});
    EXPECT_EQ(childrenOf(e, e.getExchFrame(4)), std::vector<int>{7});
    EXPECT_TRUE(e.getExchFrame(7)->isAttached(e.getFrame()));

    // Switching the outer selector detaches the whole inner tree from the window.
    e.values[501] = 1;
    e.updateDepMod(501);
    EXPECT_EQ(childrenOf(e, e.getExchFrame(1)), std::vector<int>{3});
    EXPECT_FALSE(e.getExchFrame(7)->isAttached(e.getFrame()));
    e.values[501] = 0;
    e.updateDepMod(501);
    EXPECT_TRUE(e.getExchFrame(7)->isAttached(e.getFrame()));
}

TEST(DepMod, RulesSharingAChildStopSwinging)
{
    Rig rig;
    TestEditor& e = rig.editor;
    makeFrames(e, {20, 21, 22});
    e.getEditFrame()->addView(e.getExchFrame(20));
    e.getEditFrame()->addView(e.getExchFrame(21));
    // Both rules want frame 22 in their own parent: each pass moves it back.
    e.defineDepMod(504, 20, 22);
    e.defineDepMod(505, 21, 22);
    e.values = {{504, 0}, {505, 0}};
    e.updateDepMod(-1); // returns
    EXPECT_LE(e.framesChanged, e.getDepModCount() + 1);
    EXPECT_GT(e.framesChanged, 0);
}

TEST(DepMod, DefinitionsAndFramesAreKept)
{
    DepMod_c rule;
    EXPECT_FALSE(rule.isDefined());
    rule.define(5, 1, 10, 11);
    rule.define(6, 2, 12);
    EXPECT_EQ(rule.getSelector(), 5);
    EXPECT_EQ(rule.getFrameIdx(), 1);
    EXPECT_EQ(rule.getSubFrameIdx(1), 11);
    EXPECT_EQ(rule.getSubFrameIdx(2), -1);
    EXPECT_EQ(rule.getSubFrameIdx(22), -1);

    Rig rig;
    TestEditor& e = rig.editor;
    makeFrames(e, {3});
    CModulFrameVx* first = e.getExchFrame(3);
    e.createExchFrame(3, 5, 5, SynthEditor_c::loadBitmap(128), "other");
    EXPECT_EQ(e.getExchFrame(3), first);
    e.createExchFrame(0, 0, 0, SynthEditor_c::loadBitmap(128), "zero");
    e.createExchFrame(768, 0, 0, SynthEditor_c::loadBitmap(128), "past");
    e.createExchFrame(4, -1, 0, SynthEditor_c::loadBitmap(128), "left of the window");
    EXPECT_EQ(e.getExchFrame(0), nullptr);
    EXPECT_EQ(e.getExchFrame(768), nullptr);
    EXPECT_EQ(e.getExchFrame(4), nullptr);

    for (int i = 0; i < 300; ++i)
        e.defineDepMod(600 + i, 3, 3);
    EXPECT_EQ(e.getDepModCount(), 256);
}

TEST(DepMod, SelectingByListAndStatically)
{
    Rig rig;
    TestEditor& e = rig.editor;
    makeFrames(e, {1, 2, 3, 4});
    CModulFrameVx* parent = e.getExchFrame(1);
    e.getEditFrame()->addView(parent);
    CModulFrameVx* list[] = {e.getExchFrame(2), e.getExchFrame(3), nullptr};
    e.selectMod(parent, list, 1);
    EXPECT_EQ(childrenOf(e, parent), std::vector<int>{3});
    e.idle();
    EXPECT_FALSE(e.getFullRedraw());
    e.selectMod(parent, list, 5);
    EXPECT_FALSE(e.getFullRedraw()) << "the child already shown: nothing happens";

    // The numbered form re-attaches on top while the parent is attached.
    parent->addView(e.getExchFrame(4));
    e.selectModStatic(1, 3);
    EXPECT_EQ(parent->getView(parent->getNbViews() - 1), e.getExchFrame(3));
    parent->getParentView()->removeView(parent, false);
    e.selectModStatic(1, 3);
    EXPECT_FALSE(parent->isChild(e.getExchFrame(3))) << "an unattached parent only lets go";
    e.getEditFrame()->addView(parent);

    e.RemoveFrames(SynthEditor_c::MaxExchFrames);
    EXPECT_TRUE(childrenOf(e, parent).empty());
    EXPECT_TRUE(childrenOf(e, e.getEditFrame()).empty());
}

TEST(DepMod, CloseReleasesAttachedTreesOnce)
{
    // Frames still attached in a tree when the editor closes: each is
    // released exactly once (ASan checks the rest).
    Rig rig;
    TestEditor& e = rig.editor;
    makeFrames(e, {1, 2, 3});
    e.getEditFrame()->addView(e.getExchFrame(1));
    e.getExchFrame(1)->addView(e.getExchFrame(2));
    e.getExchFrame(2)->addView(e.getExchFrame(3));
    e.getExchFrame(3)->addView(new CControlVx(CRect(0, 0, 5, 5), &e, 1));
    e.close();
    EXPECT_EQ(e.getExchFrame(1), nullptr);
    EXPECT_TRUE(e.open(nullptr));
}

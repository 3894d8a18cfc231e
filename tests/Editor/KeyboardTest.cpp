#include "CDrawContext.h"
#include "ControlTestRig.h"
#include "EditorPictures.h"
#include "KeyboardBase.h"
#include "RecordingVela.h"

#include <gtest/gtest.h>

#include <memory>

using ControlTest::Canvas;
using ControlTest::frameColour;
using ControlTest::Stage;
using EditorTest::RecordingVela;

namespace {
constexpr int Tag = 608;
constexpr CColor Ground{1, 2, 3, 255};
// The plug-in's keyboard: white keys 18 x 95, black keys 10 x 60 at 13, at
// (58, 34); five octaves from C 36 and a closing key, 648 pixels.
constexpr int Left = 58;
constexpr int Top = 34;

// A strip picture of six 9 x 95 frames side by side, frame k in colour
// frameColour(first + k), so the tests tell the two pictures apart.
CBitmap* stripPicture(int first)
{
    auto* b = new CBitmap(9 * 6, 95);
    CDrawContext c(b);
    for (int k = 0; k < 6; ++k) {
        c.setFillColor(frameColour(first + k));
        c.drawRect(CRect(9 * k, 0, 9 * k + 9, 95), kDrawFilled);
    }
    return b;
}

struct KeyboardStage
{
    CBitmap* first = stripPicture(0);
    CBitmap* second = stripPicture(6);
    Stage<CKeyboard2> stage;
    explicit KeyboardStage(Synth* engine)
        : stage([&](CControlListenerVx* l) {
              CRect size(Left, Top, Left + 648, Top + 95);
              return new CKeyboard2(size, l, Tag, first, second, engine, 18, 95, 10, 60, 13);
          })
    {
    }
    ~KeyboardStage()
    {
        first->forget();
        second->forget();
    }
    KeyboardStage(const KeyboardStage&) = delete;
    KeyboardStage& operator=(const KeyboardStage&) = delete;
};
} // namespace

TEST(CKeyboard2, FindsTheKeyUnderThePointAndItsVelocity)
{
    KeyboardStage k(nullptr);
    EXPECT_EQ(k.stage.control->getTotalWidth(), 648);
    struct Case
    {
        const char* what;
        int x, y;
        int note, velocity;
    };
    const Case cases[] = {
        {"the first white key low down", 0, 80, 36, 127},
        {"the second white key", 20, 80, 38, 127},
        {"the first black key", 15, 30, 37, 30 * 127 / 55},
        {"the black row's gap between E and F plays E", 50, 30, 40, 30 * 127 / 55},
        {"and F beside it", 55, 30, 41, 30 * 127 / 55},
        {"the very top of a key is velocity 1", 0, 0, 36, 1},
        {"55 pixels down is 127", 0, 55, 36, 127},
        {"54 pixels down a little less", 0, 54, 36, 54 * 127 / 55},
        {"the next octave", 126, 80, 48, 127},
        {"the last black key of the last octave", 4 * 126 + 105, 10, 94, 10 * 127 / 55},
        {"the closing key", 630, 80, 96, 127},
        {"the right edge is still the closing key", 648, 80, 96, 127},
    };
    for (const Case& c : cases) {
        Note_c n;
        ASSERT_TRUE(k.stage.control->getKeyVelo(c.x, c.y, &n)) << c.what;
        EXPECT_EQ(n.note, c.note) << c.what;
        EXPECT_EQ(n.velocity, c.velocity) << c.what;
    }
}

TEST(CKeyboard2, PlaysTheKeysUnderTheMouse)
{
    auto owned = std::make_unique<RecordingVela>();
    RecordingVela& engine = *owned;
    KeyboardStage k(&engine);
    const int c60 = Left + 2 * 126 + 4; // C 60, white, low down
    const int d62 = Left + 2 * 126 + 22;
    const int y = Top + 80;
    k.stage.press(c60, y);
    k.stage.move(c60 + 3, y); // within the key: nothing more
    k.stage.move(d62, y);
    k.stage.release(d62, y);
    ASSERT_EQ(engine.kinds(), "nnnn");
    struct Sent
    {
        int note, velocity;
    };
    const Sent sent[] = {{60, 127}, {62, 127}, {60, 0}, {62, 0}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(engine.calls[i].index, Tag) << i;
        EXPECT_EQ(engine.calls[i].note, sent[i].note) << i << ": the new note starts before the old one ends";
        EXPECT_EQ(static_cast<int>(engine.calls[i].value), sent[i].velocity) << i;
    }
    EXPECT_EQ(k.stage.control->getPlayedNote().note, 62) << "the note is kept, silent, until the next press";
    EXPECT_EQ(k.stage.control->getPlayedNote().velocity, 0);

    engine.calls.clear();
    k.stage.press(c60, y, kRButton);
    k.stage.release(c60, y);
    k.stage.control->onWheel(CPoint(c60, y), 1.f, 0);
    EXPECT_EQ(engine.kinds(), "") << "only the left button plays; the wheel nothing";

    KeyboardStage silent(nullptr);
    EXPECT_EQ(silent.stage.press(c60, y), kMouseEventNotHandled) << "without an engine presses are not handled";
}

TEST(CKeyboard2, LightsKeysAndDrawsTheirStrips)
{
    KeyboardStage k(nullptr);
    CKeyboard2* keys = k.stage.control;
    keys->setKey(200, 300);
    EXPECT_EQ(keys->getKeyVelocity(127), 127) << "clamped";
    Canvas canvas(800, 200, Ground);
    canvas.draw(keys);
    keys->setKey(127, 127);
    EXPECT_FALSE(keys->isDirty()) << "the velocity already shown marks nothing";

    struct Case
    {
        const char* what;
        std::vector<int> down;
        int x;     // a pixel column inside the strip
        int frame; // frameColour index: the first picture 0..5, the second 6..11
    };
    const Case cases[] = {
        {"C up: its left strip, frame 0", {}, Left + 4, 0},
        {"C down: frame 1", {36}, Left + 4, 1},
        {"C down, C# up: the second picture's frame 4", {36}, Left + 13, 6 + 4},
        {"C# down only: frame 3", {37}, Left + 13, 6 + 3},
        {"C# down: D's left strip shows it too", {37}, Left + 22, 3},
        {"both down: frame 5", {36, 37}, Left + 13, 6 + 5},
        {"E alone in the second picture", {40}, Left + 5 * 9 + 4, 6 + 1},
        {"the closing key's two strips", {96}, Left + 630 + 13, 6 + 1},
    };
    for (const Case& c : cases) {
        keys->allNotesOff();
        for (int note : c.down)
            keys->setKey(note, 100);
        Canvas each(800, 200, Ground);
        each.draw(keys);
        EXPECT_EQ(each.at(c.x, Top + 50), frameColour(c.frame)) << c.what;
    }
}

TEST(CKeyboard2, ThePluginsKeyPicturesAreSixStripsOfHalfAKey)
{
    // The real strips: six 9 x 95 frames in each picture, the black part
    // (5 pixels, 60 high) on the left of the first and the right of the second.
    CBitmap* first = EditorPictures::make(EditorPictures::KeysFirst);
    CBitmap* second = EditorPictures::make(EditorPictures::KeysSecond);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getWidth(), 54);
    EXPECT_EQ(first->getHeight(), 95);
    const CColor whiteUp = first->getPixel(6, 30);
    const CColor blackUp = first->getPixel(9 * 2 + 2, 30);
    EXPECT_GT(whiteUp.red, 150) << "a white key is light";
    EXPECT_LT(blackUp.red, 60) << "a black key is dark";
    EXPECT_NE(first->getPixel(9 * 1 + 6, 30), whiteUp) << "a pressed white key looks different";
    EXPECT_NE(first->getPixel(9 * 3 + 2, 30), blackUp) << "so does a pressed black key";
    EXPECT_LT(second->getPixel(9 * 2 + 7, 30).red, 60) << "the second picture's black part is on the right";
    EXPECT_GT(second->getPixel(9 * 2 + 1, 30).red, 150);
    EXPECT_GT(first->getPixel(9 * 2 + 2, 80).red, 150) << "below the black keys the white key shows";
    first->forget();
    second->forget();
}

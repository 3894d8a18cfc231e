#include "RecordingEffect.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Speakers, AllocateReplaceAndFree)
{
    RecordingEffect fx;
    VstSpeakerArrangement* arr = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&arr, 6));
    ASSERT_NE(arr, nullptr);
    EXPECT_EQ(arr->numChannels, 6);
    EXPECT_EQ(arr->type, 0);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(arr->speakers[i].type, 0);
        EXPECT_EQ(arr->speakers[i].name[0], 0);
    }
    arr->speakers[5].type = kSpeakerRs; // the last speaker is inside the allocation (ASan)

    // Allocating again frees the old record (the leak checker watches).
    ASSERT_TRUE(fx.allocateArrangement(&arr, 1));
    EXPECT_EQ(arr->numChannels, 1);
    EXPECT_FALSE(fx.allocateArrangement(&arr, -1));
    EXPECT_FALSE(fx.allocateArrangement(nullptr, 2));

    EXPECT_TRUE(fx.deallocateArrangement(&arr));
    EXPECT_EQ(arr, nullptr);
    EXPECT_TRUE(fx.deallocateArrangement(&arr));
    EXPECT_FALSE(fx.deallocateArrangement(nullptr));
}

TEST(Speakers, CopyAndMatch)
{
    RecordingEffect fx;
    VstSpeakerProperties from{};
    std::memset(from.name, 'n', sizeof(from.name)); // no terminator
    from.azimuth = 0.5f;
    from.elevation = -0.25f;
    from.radius = 2.0f;
    from.type = kSpeakerLfe;
    VstSpeakerProperties to{};
    ASSERT_TRUE(fx.copySpeaker(&to, &from));
    EXPECT_EQ(std::strlen(to.name), 63u);
    EXPECT_EQ(to.azimuth, 0.5f);
    EXPECT_EQ(to.elevation, -0.25f);
    EXPECT_EQ(to.radius, 2.0f);
    EXPECT_EQ(to.type, kSpeakerLfe);
    EXPECT_FALSE(fx.copySpeaker(nullptr, &from));
    EXPECT_FALSE(fx.copySpeaker(&to, nullptr));

    VstSpeakerArrangement* source = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&source, 3));
    source->type = kSpeakerArr30Cine;
    const char* names[] = {"L", "R", "C"};
    for (int i = 0; i < 3; ++i) {
        std::strcpy(source->speakers[i].name, names[i]);
        source->speakers[i].type = kSpeakerL + i;
    }
    VstSpeakerArrangement* copy = nullptr;
    ASSERT_TRUE(fx.allocateArrangement(&copy, 8));
    ASSERT_TRUE(fx.matchArrangement(&copy, source));
    EXPECT_EQ(copy->type, kSpeakerArr30Cine);
    EXPECT_EQ(copy->numChannels, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(copy->speakers[i].name, names[i]);
        EXPECT_EQ(copy->speakers[i].type, kSpeakerL + i);
    }
    EXPECT_FALSE(fx.matchArrangement(&copy, nullptr));
    EXPECT_FALSE(fx.matchArrangement(&copy, copy)); // would free its own source
    EXPECT_FALSE(fx.matchArrangement(nullptr, source));
    fx.deallocateArrangement(&copy);
    fx.deallocateArrangement(&source);
}

TEST(Speakers, FrameDefaultsRefuse)
{
    RecordingEffect fx;
    AudioEffectX& base = fx;
    VstSpeakerArrangement* in = reinterpret_cast<VstSpeakerArrangement*>(&fx);
    VstSpeakerArrangement* out = in;
    EXPECT_FALSE(base.AudioEffectX::getSpeakerArrangement(&in, &out));
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(base.AudioEffectX::setSpeakerArrangement(nullptr, nullptr));
}

namespace {

enum class Op { Int, Float, DB, Hz, Ms };

struct TextCase
{
    Op op;
    double value;
    const char* expect;
};

std::string render(RecordingEffect& fx, Op op, double value, int32_t maxLen = 32)
{
    char text[32];
    std::memset(text, '#', sizeof(text));
    switch (op) {
    case Op::Int: fx.int2string(static_cast<int32_t>(value), text, maxLen); break;
    case Op::Float: fx.float2string(static_cast<float>(value), text, maxLen); break;
    case Op::DB: fx.dB2string(static_cast<float>(value), text, maxLen); break;
    case Op::Hz: fx.Hz2string(static_cast<float>(value), text, maxLen); break;
    case Op::Ms: fx.ms2string(static_cast<float>(value), text, maxLen); break;
    }
    return std::string(text, strnlen(text, sizeof(text)));
}

} // namespace

TEST(TextOperations, Table)
{
    const TextCase cases[] = {
        {Op::Int, 0, "0"},
        {Op::Int, 7, "7"},
        {Op::Int, -42, "-42"},
        {Op::Int, 99999999, "99999999"},
        {Op::Int, 100000000, "Huge!"},
        {Op::Int, -2147483648.0, "-2147483648"},
        {Op::Float, 0, "0.000000"},
        {Op::Float, -0.0, "0.000000"},
        {Op::Float, 1.5, "1.500000"},
        {Op::Float, -1.5, "-1.50000"},
        {Op::Float, 123.456, "123.4560"},
        {Op::Float, 12345678, "12345678."},
        {Op::Float, 99999992, "99999992."},   // the largest float below 1e8
        {Op::Float, 100000000, "Huge!"},
        {Op::Float, -9999999, "-9999999."},
        {Op::Float, -10000000, "Huge!"},
        {Op::Float, 1.0 / 0.0, "Huge!"},
        {Op::DB, 0, "-oo"},
        {Op::DB, -1, "-oo"},
        {Op::DB, 1, "0.000000"},
        {Op::DB, 10, "20.00000"},
        {Op::DB, 0.5, "-6.02060"},
        {Op::Hz, 0, "0.000000"},
        {Op::Hz, 441, "100.0000"},   // a period of 441 frames at 44100 Hz
        {Op::Ms, 44100, "1000.000"},
        {Op::Ms, 441, "10.00000"},
    };
    RecordingEffect fx; // 44100 Hz
    for (const TextCase& c : cases)
        EXPECT_EQ(render(fx, c.op, c.value), c.expect) << int(c.op) << " " << c.value;
}

TEST(TextOperations, StayInsideTheBuffer)
{
    RecordingEffect fx;
    EXPECT_EQ(render(fx, Op::Int, 12345, 4), "123");
    EXPECT_EQ(render(fx, Op::Float, 1.5, 3), "1.");
    EXPECT_EQ(render(fx, Op::DB, 0, 2), "-");
    EXPECT_EQ(render(fx, Op::Int, 100000000, 1), "");
    // No room at all: nothing is written.
    char untouched[4] = "abc";
    fx.int2string(5, untouched, 0);
    fx.float2string(5, nullptr, 10);
    EXPECT_STREQ(untouched, "abc");
}

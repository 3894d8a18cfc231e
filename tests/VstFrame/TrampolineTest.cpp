#include "RecordingEffect.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Fails in the ways a careless engine could: every entry throws.
class ThrowingEffect : public RecordingEffect
{
public:
    using RecordingEffect::RecordingEffect;
    void open() override { throw std::runtime_error("open went wrong"); }
    void close() override { throw 17; }
    void processReplacing(float**, float**, int32_t) override { throw std::runtime_error("render"); }
    void processDoubleReplacing(double**, double**, int32_t) override { throw std::runtime_error("render"); }
    void setParameter(int32_t, float) override { throw std::runtime_error("set"); }
    float getParameter(int32_t) override { throw std::runtime_error("get"); }
    int32_t processEvents(VstEvents*) override { throw std::runtime_error("events"); }
};

} // namespace

TEST(Trampoline, RecordCarriesTheFrameDefaults)
{
    RecordingEffect fx;
    const AEffect* e = fx.getAeffect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->object, &fx);
    EXPECT_EQ(e->numPrograms, 4);
    EXPECT_EQ(e->numParams, 3);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsCanReplacing);
    EXPECT_EQ(e->uniqueID, 0x4E6F4566);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(std::string(e->future, sizeof(e->future)), std::string(sizeof(e->future), '\0'));
    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);
    EXPECT_EQ(fx.getProgram(), 0);
}

TEST(Trampoline, EntriesReachTheObject)
{
    RecordingEffect fx;
    AEffect* e = fx.getAeffect();
    float left[4], right[4];
    float* outs[] = {left, right};
    e->processReplacing(e, nullptr, outs, 4);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 22050.0f);
    EXPECT_EQ(fx.log.joined(), "processReplacing(4) setSampleRate(22050)");
    e->setParameter(e, 0, 0.5f);
    EXPECT_EQ(e->getParameter(e, 0), 0.0f);

    // A record that is not ours is refused rather than followed.
    AEffect foreign{};
    foreign.object = &fx;
    EXPECT_EQ(AudioEffect::dispatchEffectClass(&foreign, effGetVstVersion, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(AudioEffect::dispatchEffectClass(nullptr, effGetVstVersion, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(AudioEffect::getParameterClass(nullptr, 0), 0.0f);
}

TEST(Trampoline, CloseDeletesTheObjectAndItsEditor)
{
    bool effectGone = false;
    bool editorGone = false;
    auto* fx = new RecordingEffect(nullptr, &effectGone);
    fx->setEditor(new RecordingEditor(fx, fx->log, &editorGone));
    AEffect* e = fx->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
    EXPECT_TRUE(effectGone);
    EXPECT_TRUE(editorGone);
}

TEST(Trampoline, FrameDestructorDeletesTheEditor)
{
    bool editorGone = false;
    {
        RecordingEffect fx;
        fx.setEditor(new RecordingEditor(&fx, fx.log, &editorGone));
    }
    EXPECT_TRUE(editorGone);
}

TEST(Trampoline, NoExceptionReachesTheHost)
{
    bool gone = false;
    auto* fx = new ThrowingEffect(nullptr, &gone);
    fx->setNumOutputs(2);
    AEffect* e = fx->getAeffect();

    testing::internal::CaptureStderr();
    EXPECT_EQ(e->dispatcher(e, effOpen, 0, 0, nullptr, 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("open went wrong"), std::string::npos);

    // On the audio thread nothing is printed; the failed block is silence and
    // the next user-interface call reports it.
    float left[8], right[8];
    double dl[8], dr[8];
    std::fill(std::begin(left), std::end(left), 1.0f);
    std::fill(std::begin(right), std::end(right), 1.0f);
    std::fill(std::begin(dl), std::end(dl), 1.0);
    float* outs[] = {left, nullptr};
    double* douts[] = {dl, dr};
    VstEvents events{};
    testing::internal::CaptureStderr();
    e->processReplacing(e, nullptr, outs, 8);
    e->processDoubleReplacing(e, nullptr, douts, 8);
    e->process(e, nullptr, outs, 8);
    e->setParameter(e, 1, 0.5f);
    EXPECT_EQ(e->getParameter(e, 1), 0.0f);
    EXPECT_EQ(e->dispatcher(e, effProcessEvents, 0, 0, &events, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(left[i], 0.0f);
        EXPECT_EQ(right[i], 1.0f); // not handed to the plug-in
        EXPECT_EQ(dl[i], 0.0);
    }
    testing::internal::CaptureStderr();
    e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("5 audio-thread call(s)"), std::string::npos);

    // close throws, yet the host has let go of the object: it is deleted.
    testing::internal::CaptureStderr();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unknown exception"), std::string::npos);
    EXPECT_TRUE(gone);
}

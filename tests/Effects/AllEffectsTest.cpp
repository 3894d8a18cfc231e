// The checks every one of the twelve effect types passes, as one table over
// the types: Wet 0 passes the input, the extremes stay finite and bounded at
// 44.1, 48 and 96 kHz under a +-16 square and noise, a non-finite block does
// not silence the effect, an impulse and 30 s of silence leave no subnormal
// number (under the audio thread's flush-to-zero mode), and the serial form
// replaces what the plain form adds. And the line effects' lines start as
// their denormal guard or silence.
#include "Chorus1.h"
#include "Delay2.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "Flanger2.h"
#include "FxKinds.h"
#include "Reverb2.h"

#include <gtest/gtest.h>

using namespace fxtest;

namespace {

class AllEffects : public testing::TestWithParam<int>
{
protected:
    const FxKind& kind() const { return effectKind(GetParam()); }
};

TEST_P(AllEffects, WetZeroPassesTheInput)
{
    checkWetZeroPasses(kind());
}

TEST_P(AllEffects, ExtremesStayFiniteAndBounded)
{
    checkExtremesStayBounded(kind());
}

TEST_P(AllEffects, RecoversFromNonFiniteInput)
{
    checkRecoversFromNonFinite(kind());
}

TEST_P(AllEffects, SilenceLeavesNoSubnormals)
{
    checkSilenceLeavesNoSubnormals(kind());
}

TEST_P(AllEffects, SerialVariantReplacesWhereThePlainClassAdds)
{
    checkSerialReplacesPlainAdds(kind());
}

// With silent input and the wet level up, what comes out at first is what
// the lines were filled with: the delays and the flanger start with the
// alternating +-1e-7 that keeps their feedback paths out of subnormal
// numbers; the chorus's line is zeroed and the reverb starts muted.
TEST(EffectLines, StartWithTheirFill)
{
    struct Row
    {
        int type;
        int wetPara;
        int wet;
        bool guardFill; // +-1e-7 alternately; else exact zeros
    };
    const Row rows[] = {
        {0, Delay2_c::pWet, 100, true},         {1, DelayStereo_c::pWet, 100, true},
        {2, DelayPingPong_c::pWet, 100, true},  {3, Chorus1_c::pWet, 100, false},
        {6, Reverb2_c::pWet, 1000, false},      {7, Flanger2_c::pWet, 100, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(effectKindName(r.type));
        auto rig = makeRig(effectKind(r.type), 44100.0f);
        rig->para(r.wetPara, r.wet);
        rig->run(44100, silence(), silence());
        const float top = std::max(peak(rig->outL), peak(rig->outR));
        if (r.guardFill) {
            EXPECT_GT(top, 1e-8f);
            EXPECT_LE(top, 1e-6f);
        } else {
            EXPECT_EQ(top, 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryType, AllEffects, testing::Range(0, NumEffectTypes),
                         [](const testing::TestParamInfo<int>& info) { return effectKindName(info.param); });

} // namespace

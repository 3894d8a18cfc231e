// The checks every one of the twelve effect types passes, as one table over
// the types: Wet 0 passes the input, the extremes stay finite and bounded at
// 44.1, 48 and 96 kHz under a +-16 square and noise, a non-finite block does
// not silence the effect, an impulse and 30 s of silence leave no subnormal
// number (under the audio thread's flush-to-zero mode), and the serial form
// replaces what the plain form adds.
#include "FxKinds.h"

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

INSTANTIATE_TEST_SUITE_P(EveryType, AllEffects, testing::Range(0, NumEffectTypes),
                         [](const testing::TestParamInfo<int>& info) { return effectKindName(info.param); });

} // namespace

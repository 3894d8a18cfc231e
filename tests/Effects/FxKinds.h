// The twelve instrument effect types as the shared checks see them (FxKind):
// how to build each plain and serial form, its LFOs, wet parameter, the
// parameter settings at the ends of its ranges, its signal state and the
// level its output stays below at those extremes. Indexed by the type
// number of the effect-type parameters ("DELAY" 0 .. "CRUSHER" 11).
#pragma once

#include "FxMeasure1.h"
#include "FxMeasure2.h"

namespace fxtest {

inline constexpr int NumEffectTypes = 12;

// The kind of effect type 0..11.
const FxKind& effectKind(int type);
// The type's class name without its suffix, for test names ("Delay2").
const char* effectKindName(int type);

const FxKind& delayKind();
const FxKind& stereoDelayKind();
const FxKind& pingPongKind();
const FxKind& chorusKind();
const FxKind& phaserKind();
const FxKind& gloFilKind();
const FxKind& reverbKind();
const FxKind& flangerKind();
const FxKind& gatorKind();
const FxKind& enhancerKind();
const FxKind& eqKind();
const FxKind& crusherKind();

} // namespace fxtest

namespace fx2 {

// One of a kind's extreme settings in the line-effect rig's form.
inline Settings settingsOf(const std::vector<std::pair<int, int>>& setting)
{
    Settings out;
    for (auto [idx, value] : setting)
        out.push_back({idx, value});
    return out;
}

} // namespace fx2

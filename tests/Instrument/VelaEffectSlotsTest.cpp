// Every effect type plays in every effect slot of the plug-in: the stereo
// plug-in, opened as a host opens it, selects each of the twelve types in
// each of the six slots (sets 0 and 1, serial slots X0..X3) through its host
// parameters, so the change hook's selection runs, and plays a note through
// it. The output stays finite and bounded and carries the note.
#include "SignalMeasure.h"
#include "VelaGlo.h"
#include "VelaInst.h"
#include "VelaPlayer.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr float Rate = VelaPlayer::Rate;
constexpr int Slots = 6; // set 0, set 1, X0..X3

// The global parameters that choose a slot's type and switch it on.
constexpr int typeParameter(int slot)
{
    return slot == 0 ? VelaGlo_c::gpEffType0
           : slot == 1 ? VelaGlo_c::gpEffType1
                       : VelaGlo_c::gpEffXType0 + 2 * (slot - 2);
}
constexpr int onParameter(int slot)
{
    return slot == 0 ? VelaGlo_c::gpEffOn0 : slot == 1 ? VelaGlo_c::gpEffOn1 : VelaGlo_c::gpEffXOn0 + 2 * (slot - 2);
}

class VelaEffectSlots : public testing::TestWithParam<int>
{
};

// One slot on, the others off (a parallel set switched off passes its dry
// path; with both sets off the serial slot alone shapes the sound), and each
// type in turn selected there and played.
TEST_P(VelaEffectSlots, EveryTypePlaysInTheSlot)
{
    const int slot = GetParam();
    VelaPlayer p;
    for (int s = 0; s < Slots; ++s)
        p.setGlobal(onParameter(s), s == slot ? 1 : 0);
    for (int type = 0; type < VelaInst_c::NumFxTypes; ++type) {
        SCOPED_TRACE(testing::Message() << "slot " << slot << " type " << type);
        p.setGlobal(typeParameter(slot), type);
        const int set = slot < 2 ? slot : 2;
        VariatorInst_c* fx = p.instrument()->getCurrentEffect(slot);
        ASSERT_EQ(fx, p.instrument()->getEffect(set, type));
        EXPECT_TRUE(fx->active.load());
        std::array<std::vector<float>, 2> out;
        p.noteOn(57);
        p.render(0.3, out);
        // The effect rendered the note (its input was on).
        EXPECT_TRUE(fx->wasOn);
        p.noteOff(57);
        p.render(0.2, out);
        for (const std::vector<float>& x : out) {
            ASSERT_TRUE(SignalMeasure::allFinite(x.data(), x.size()));
            EXPECT_LT(SignalMeasure::peak(x), 4.0f);
        }
        // The note comes through while it is held.
        const std::vector<float> held(out[0].begin() + static_cast<long>(0.05 * Rate),
                                      out[0].begin() + static_cast<long>(0.3 * Rate));
        EXPECT_GT(SignalMeasure::dB(SignalMeasure::rms(held)), -40.0);
    }
}

std::string slotName(const testing::TestParamInfo<int>& info)
{
    static const char* const names[Slots] = {"Set0", "Set1", "X0", "X1", "X2", "X3"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(AllSlots, VelaEffectSlots, testing::Range(0, Slots), slotName);

} // namespace

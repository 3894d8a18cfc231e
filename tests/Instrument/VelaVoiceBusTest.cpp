// The voice's buses across blocks in which its switches change: a bus that
// sat unused while its slot, path or panner was off must start clean when
// the switch comes on again, as if it had been cleared from scratch.
#include "ToneTestRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using tonetest::ToneRig;
using G = VelaGlo_c;
using V = VelaTone_c;

namespace {

struct Switches
{
    bool slotOn[4];
    bool pathOn[2];
    int routingA;   // slot 1: 0 to its panner, else onto the cross-modulation bus
    int varType;    // both paths: 0 ladder, 1 morphing filter
    bool pan51[4];  // the slots' and paths' 5.1 panners (no 5.1 bus in the rig)
};

void apply(ToneRig& rig, const Switches& s)
{
    for (int k = 0; k < 4; ++k)
        rig.setGlobal(k < 2 ? G::gpGenOn0 + k : G::gpGenOn2 + k - 2, s.slotOn[k]);
    for (int q = 0; q < 2; ++q) {
        rig.setGlobal(G::gpVarOn0 + q, s.pathOn[q]);
        rig.setGlobal(G::gpVarType0 + q, s.varType);
    }
    rig.setGlobal(G::gpGen0Routing, s.routingA);
    for (int k = 0; k < 4; ++k)
        rig.setGlobal(G::gpPow51First + k, s.pan51[k]);
    rig.route();
}

} // namespace

// Two voices play the same switch sequence, block by block; before each of
// the second's blocks its voice buses are made anew (cleared, state reset),
// so none of them can carry anything over. The first must sound bit for bit
// the same, at every block size, switches going off and on again included.
TEST(VelaVoiceBus, ABusUnusedWhileItsSwitchWasOffStartsCleanWhenItComesOn)
{
    const Switches steps[] = {
        {{true, false, false, false}, {true, true}, 0, 0, {}},
        {{true, true, true, true}, {true, true}, 0, 0, {}},
        {{false, true, false, false}, {true, false}, 0, 0, {}},
        {{true, true, false, true}, {false, true}, 1, 0, {}},
        {{true, false, true, false}, {true, true}, 0, 1, {}},
        {{false, false, false, false}, {false, false}, 0, 0, {}},
        {{true, true, true, true}, {true, true}, 1, 1, {}},
        {{true, false, false, true}, {true, true}, 0, 0, {true, false, true, false}},
        {{true, true, true, true}, {true, true}, 0, 0, {}},
        {{true, false, false, false}, {false, true}, 0, 0, {}},
        {{true, true, true, true}, {true, true}, 0, 0, {}},
    };
    for (int block : {32, 64, 256}) {
        ToneRig plain;
        ToneRig remade;
        for (ToneRig* rig : {&plain, &remade}) {
            rig->setGlobal(G::gpExactness, 100);
            apply(*rig, steps[0]);
            rig->noteOn(60, 100);
        }
        for (int repeat = 0; repeat < 2; ++repeat)
            for (const Switches& s : steps) {
                for (ToneRig* rig : {&plain, &remade})
                    apply(*rig, s);
                for (InBuffer2_c* bus : {&remade.xModBuf[0], &remade.xModBuf[1], &remade.panBuf[0], &remade.panBuf[1],
                                         &remade.panBuf[2], &remade.panBuf[3], &remade.filBuf[0], &remade.filBuf[1]})
                    ASSERT_TRUE(bus->resize(bus->getSize()));
                plain.render(block);
                remade.render(block);
            }
        ASSERT_EQ(plain.left.size(), remade.left.size());
        double energy = 0.0;
        for (size_t i = 0; i < plain.left.size(); ++i) {
            ASSERT_EQ(plain.left[i], remade.left[i]) << "blocks of " << block << ", frame " << i;
            ASSERT_EQ(plain.right[i], remade.right[i]) << "blocks of " << block << ", frame " << i;
            energy += static_cast<double>(plain.left[i]) * plain.left[i];
        }
        EXPECT_GT(energy, 0.01) << "blocks of " << block << ": the voice must sound";
    }
}

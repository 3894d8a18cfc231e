// Every effect type plays in every effect slot of the plug-in: the stereo
// plug-in, opened as a host opens it, selects each of the twelve types in
// each of the six slots (sets 0 and 1, serial slots X0..X3) through its host
// parameters, so the change hook's selection runs, and plays a note through
// it. The output stays finite and bounded and carries the note.
#include "Vela.h"

#include "EPAS.h"
#include "EngineTestHost.h"
#include "SignalMeasure.h"
#include "VelaGlo.h"
#include "VelaInst.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float Rate = 48000.0f;
constexpr int Block = 256;
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

// The stereo plug-in at 48 kHz in blocks of 256, switched on; its global
// parameters set through their host-parameter entries.
class SlotPlayer
{
public:
    SlotPlayer()
    {
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, Rate);
        call(effSetBlockSize, 0, Block);
        call(effMainsChanged, 0, 1);
    }
    ~SlotPlayer() { call(effMainsChanged, 0, 0); }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

    // Global parameter para to its integer value, through the host entry.
    void setGlobal(int para, int value)
    {
        Part_c* glo = vela->getModule(0);
        ASSERT_NE(glo, nullptr);
        const int before = glo->getParaVal(0, para);
        glo->setParaVal(0, para, value);
        const float x = glo->getPara01(0, para);
        glo->setParaVal(0, para, before);
        for (int i = 0; i < NumParameterSlots; ++i) {
            const EPAS_c* d = vela->getEPAS(i);
            if (d && d->target == glo && d->parameter == para && d->selector == 0 && !d->readOnly) {
                vela->setParameterAutomated(i, x);
                ASSERT_EQ(glo->getParaVal(0, para), value) << "parameter " << para;
                return;
            }
        }
        FAIL() << "no host entry for global parameter " << para;
    }

    void noteOn(int key) { midi(0x90, key, 100); }
    void noteOff(int key) { midi(0x80, key, 0); }
    // Appends `seconds` of the left and right outputs to out.
    void render(double seconds, std::array<std::vector<float>, 2>& out)
    {
        std::array<std::vector<float>, NumOutputs51> block;
        float* pointers[NumOutputs51];
        for (size_t c = 0; c < block.size(); ++c) {
            block[c].assign(Block, 0.0f);
            pointers[c] = block[c].data();
        }
        const size_t until = out[0].size() + static_cast<size_t>(seconds * Rate);
        while (out[0].size() < until) {
            for (auto& b : block)
                std::fill(b.begin(), b.end(), 0.0f);
            e->processReplacing(e, nullptr, pointers, Block);
            for (size_t c = 0; c < 2; ++c)
                out[c].insert(out[c].end(), block[c].begin(), block[c].end());
        }
    }

    VelaInst_c* instrument() { return static_cast<VelaInst_c*>(vela->getInstPtr(0)); }

private:
    void midi(int status, int key, int velocity)
    {
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.midiData[0] = static_cast<char>(status);
        m.midiData[1] = static_cast<char>(key);
        m.midiData[2] = static_cast<char>(velocity);
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&m);
        call(effProcessEvents, 0, 0, &list);
    }

    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
};

class VelaEffectSlots : public testing::TestWithParam<int>
{
};

// One slot on, the others off (a parallel set switched off passes its dry
// path; with both sets off the serial slot alone shapes the sound), and each
// type in turn selected there and played.
TEST_P(VelaEffectSlots, EveryTypePlaysInTheSlot)
{
    const int slot = GetParam();
    SlotPlayer p;
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

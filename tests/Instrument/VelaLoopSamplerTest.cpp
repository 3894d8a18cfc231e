// The loop sampler inside the plug-in: a real SoundFont imported into the
// first multisample memory, generator slot 1 switched to the loop sampler,
// and a note played the way a host plays it.
#include "Vela.h"

#include "EngineTestHost.h"
#include "InterSF2.h"
#include "SignalMeasure.h"
#include "VelaGlo.h"
#include "WaveRAM2.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr double Rate = 48000.0;
constexpr int Block = 256;
constexpr int LoopSamplerType = 3; // generator type of slots 1 and 2

// The stereo plug-in, opened and switched on, with its first generator slot
// playing the loop sampler.
struct LoopPlayer
{
    LoopPlayer()
    {
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, static_cast<float>(Rate));
        call(effSetBlockSize, 0, Block);
        call(effMainsChanged, 0, 1);
        vela->getGlobalPart()->setParaVal(0, VelaGlo_c::gpGenType0, LoopSamplerType);
    }
    ~LoopPlayer() { call(effMainsChanged, 0, 0); }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

    // The left output of a note held for `seconds`.
    std::vector<float> play(int key, double seconds)
    {
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.midiData[0] = static_cast<char>(0x90);
        m.midiData[1] = static_cast<char>(key);
        m.midiData[2] = 100;
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&m);
        call(effProcessEvents, 0, 0, &list);
        std::vector<float> left;
        std::vector<float> l(Block), r(Block), c(Block), lfe(Block), ls(Block), rs(Block);
        float* pointers[] = {l.data(), r.data(), c.data(), lfe.data(), ls.data(), rs.data()};
        while (left.size() < static_cast<size_t>(seconds * Rate)) {
            for (float* p : pointers)
                std::fill(p, p + Block, 0.0f);
            e->processReplacing(e, nullptr, pointers, Block);
            left.insert(left.end(), l.begin(), l.end());
        }
        return left;
    }

    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
};

} // namespace

TEST(VelaLoopSampler, ASoundFontPlaysThroughTheLoopSampler)
{
    if (Tool::Disk::exists(Tool::Disk::Path_c(RealSoundFont)) != 1)
        GTEST_SKIP() << RealSoundFont << " is not installed (package timgm6mb-soundfont)";

    // Without zones the slot is silent, so what sounds below is the sampler.
    double emptyRms = 0.0;
    {
        LoopPlayer p;
        emptyRms = SignalMeasure::rms(p.play(60, 0.5));
    }

    LoopPlayer p;
    WaveRAM2_c* memory = p.vela->getMultiSample(0);
    ASSERT_NE(memory, nullptr);
    memory->freeAllSamples(0);
    InterSF2_c(p.vela.get(), memory, 0).interpret(Tool::Disk::Path_c(RealSoundFont));
    Note_c middleC;
    middleC.set(60, 100);
    ASSERT_TRUE(memory->InsHasSamples(0, middleC));
    const std::vector<float> out = p.play(60, 0.5);
    EXPECT_TRUE(SignalMeasure::allFinite(out));
    EXPECT_LT(SignalMeasure::peak(out), 4.0f);
    EXPECT_GT(SignalMeasure::dB(SignalMeasure::rms(out) / std::max(emptyRms, 1e-9)), 12.0);
}

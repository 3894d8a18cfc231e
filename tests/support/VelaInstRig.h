// The instrument part with its effect sets wired as the module graph wires
// them, for the effect-set and instrument-rendering tests: every module has
// a parameter set of its own (the LFOs of chorus, phaser and filter effect
// too), sets 0 and 1 read EffBuf0 and EffBuf1 and write EffBufX, set X and
// the panners read EffBufX, the panners write OutBuf. Buses clear to exact
// zeros, so what OutBuf holds is the chain's alone. The global program part
// has one set; the test plays the parameter side effects itself (it writes
// a type, then asks for the selection).
#pragma once

#include "InstrumentTestSynth.h"
#include "ProcessorTestBuses.h"
#include "Synth.h"
#include "VelaGlo.h"
#include "VelaInst.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace VelaInstTest {

constexpr float Rate = 48000.0f;

using Signal = std::function<float(long long)>;

inline Signal impulseAt(long long at, float amplitude = 1.0f)
{
    return [=](long long i) { return i == at ? amplitude : 0.0f; };
}

struct Rig
{
    using VI = VelaInst_c;

    Rig()
    {
        EXPECT_TRUE(glo.getParaSetPtr(&gloSlot, 1));
        ProcTest::makeBus(eff0, 2);
        ProcTest::makeBus(eff1, 2);
        ProcTest::makeBus(effX, 6);
        ProcTest::makeBus(out, 6);
        InBuffer2_c* inputs[VI::NumFxSets] = {&eff0, &eff1, &effX};
        for (int s = 0; s < VI::NumFxSets; ++s) {
            for (int t = 0; t < VI::NumFxTypes; ++t) {
                VariatorInst_c* fx = inst.getEffect(s, t);
                fx->setSynth(&synth); // parameter changes re-cache through the engine
                fx->setInBuf(inputs[s]);
                fx->setOutBufFixed(&effX, nullptr);
                EXPECT_TRUE(fx->getParaSetPtr(&fxSlots[s][t], 1));
            }
            for (int k = 0; k < Chorus1_c::NumLFOs; ++k)
                inst.getChorus(s)->getLFO(k).getParaSetPtr(&lfoSlots[s][k], 1);
            inst.getPhaser(s)->lfo.getParaSetPtr(&lfoSlots[s][Chorus1_c::NumLFOs], 1);
            inst.getFilterEffect(s)->lfo.getParaSetPtr(&lfoSlots[s][Chorus1_c::NumLFOs + 1], 1);
        }
        for (int p = 0; p < VI::NumFxPanners; ++p) {
            Pan51_c* panner = inst.getPanner(p);
            panner->setInBuf(&effX);
            panner->setOutBufFixed(&out, nullptr);
            EXPECT_TRUE(panner->getParaSetPtr(&pannerSlots[p], 1));
        }
        inst.attachBuses(&eff0, &eff1, &effX, &out);
        inst.setSampleRate(Rate);
        inst.create(&synth, 0, &glo);
        inst.resume();
    }

    // A global program parameter, as the host would write it.
    void global(int idx, int value) { glo.setParaVal(0, idx, value); }
    // A send set (0, 1) takes `type`.
    void selectSend(int set, int type)
    {
        global(set == 0 ? VelaGlo_c::gpEffType0 : VelaGlo_c::gpEffType1, type);
        inst.selectParallel(set);
    }
    // Serial slot 0..3 takes `type`. With sortFirst the four types are made
    // distinct and written back first, as the parameter side effects do.
    void selectSerial(int slot, int type, bool sortFirst = true)
    {
        global(VelaGlo_c::gpEffXType0 + 2 * slot, type);
        if (sortFirst) {
            int types[VelaInst_c::NumSerialSlots];
            for (int k = 0; k < VelaInst_c::NumSerialSlots; ++k)
                types[k] = glo.getParaVal(0, VelaGlo_c::gpEffXType0 + 2 * k);
            VelaInst_c::makeDistinct(types, slot);
            for (int k = 0; k < VelaInst_c::NumSerialSlots; ++k)
                global(VelaGlo_c::gpEffXType0 + 2 * k, types[k]);
        }
        inst.selectSerial(slot);
    }
    void sendOn(int set, bool on) { global(set == 0 ? VelaGlo_c::gpEffOn0 : VelaGlo_c::gpEffOn1, on); }
    void serialOn(int slot, bool on) { global(VelaGlo_c::gpEffXOn0 + 2 * slot, on); }
    // FX0, FX3, FX5 for 0, 1, 2.
    void pannerOn(int k, bool on) { global(VelaGlo_c::gpPow51First + 4 + k, on); }
    // Every slot on, every panner but FX5 off.
    void allOn()
    {
        for (int set = 0; set < 2; ++set)
            sendOn(set, true);
        for (int slot = 0; slot < VI::NumSerialSlots; ++slot)
            serialOn(slot, true);
        for (int k = 0; k < VI::NumFxPanners; ++k)
            pannerOn(k, k == VI::pannerFX5);
    }

    // A parameter of an effect, refreshed as the engine refreshes it.
    void fxPara(int set, int type, int idx, int value)
    {
        VariatorInst_c* fx = inst.getEffect(set, type);
        fx->setParaVal(0, idx, value);
        fx->cachePara(crParaChange, 0, idx);
    }
    // A plain echo on a delay: free time in ms, no feedback filter or
    // modulation, the feedback and wet in hundredths.
    void plainDelay(int set, int ms, int feed, int wet)
    {
        fxPara(set, VI::fxDelay, Delay2_c::pNotes, 3); // " Off ": the free time
        fxPara(set, VI::fxDelay, Delay2_c::pTime, ms * 10);
        fxPara(set, VI::fxDelay, Delay2_c::pFeed, feed);
        fxPara(set, VI::fxDelay, Delay2_c::pWet, wet);
        fxPara(set, VI::fxDelay, Delay2_c::pModDepth, 0);
    }

    // One piece as the base instrument renders it: the buses start the
    // piece, the voices' filter paths put path0/path1 (null: nothing) on
    // EffBuf0/EffBuf1 in stereo, then the chain runs. Appends OutBuf's left
    // channel (zeros when nothing reached it) to `left`.
    void piece(int n, const Signal& path0, const Signal& path1, std::vector<float>* left)
    {
        Synth::AudioScope audio;
        for (InBuffer2_c* bus : {&eff0, &eff1, &effX, &out})
            bus->prepCycle(n);
        const auto write = [&](InBuffer2_c& bus, const Signal& s) {
            float* l = nullptr;
            float* r = nullptr;
            ASSERT_TRUE(bus.wantWriteStereo(&l, &r));
            for (int i = 0; i < n; ++i)
                l[i] = r[i] = s(clock + i);
            bus.doneWriteStereo();
        };
        if (path0)
            write(eff0, path0);
        if (path1)
            write(eff1, path1);
        inst.render(n);
        if (left)
            ProcTest::appendFirstChannel(*left, out, n);
        clock += n;
    }
    // frames in pieces of MaxBlockSize with `voices` voices in use.
    std::vector<float> run(long long frames, const Signal& path0, const Signal& path1 = nullptr, int voices = 1)
    {
        std::vector<float> left;
        inst.voicesInUse.store(voices);
        for (long long done = 0; done < frames; done += MaxBlockSize)
            piece(static_cast<int>(std::min<long long>(MaxBlockSize, frames - done)), path0, path1, &left);
        return left;
    }

    InstrumentTest::RecordingSynth synth{1};
    VelaGlo_c glo;
    ParaSet_c* gloSlot = nullptr;
    InBuffer2_c eff0, eff1, effX, out;
    VelaInst_c inst;
    ParaSet_c* fxSlots[VI::NumFxSets][VI::NumFxTypes] = {};
    ParaSet_c* lfoSlots[VI::NumFxSets][Chorus1_c::NumLFOs + 2] = {};
    ParaSet_c* pannerSlots[VI::NumFxPanners] = {};
    long long clock = 0; // frames rendered so far
};

} // namespace VelaInstTest

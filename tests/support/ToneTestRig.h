// Test rig for one voice: an opened stereo plug-in (its global program part
// and its instrument), one VelaTone_c of the rig's own whose modules are
// registered the way the engine registers a module row (engine, parameter
// set, part create, sample rate), and the voice's buses shaped and routed
// as the module graph does it for one voice: generators -> PanBuf (or
// XModBuf when a pair cross-modulates) -> balance -> FilBuf -> saturator and
// filter (or amplifier) -> EffBuf, the 5.1 panners -> OutBuf.
//
// render(n) prepares every bus for a piece of n frames, renders the voice
// and appends what reached the two path buses (left and right, both paths
// summed) to the rig's output.
#pragma once

#include "InBuffer2.h"
#include "ParaSet.h"
#include "Synth.h"
#include "Vela.h"
#include "VelaGlo.h"
#include "VelaTone.h"

#include <memory>
#include <vector>

namespace tonetest {

inline intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct ToneRig
{
    explicit ToneRig(float rate = 44100.0f) : sampleRate(rate)
    {
        vela.open();
        float* tables[VelaTone_c::ControlBufferCount];
        for (int k = 0; k < VelaTone_c::ControlBufferCount; ++k)
            tables[k] = control[k];
        tone.setControlBuffers(tables, VelaTone_c::ControlBufferCount);
        tone.create(&vela, vela.getGlobalPart(), nullptr, 0);
        for (int i = 0; i < VelaTone_c::ChildCount; ++i) {
            Part_c* part = tone.getPart(i);
            part->setSynth(&vela);
            part->getParaSetPtr(&sets[i], 1);
            part->create(&vela, vela.getTuningTable());
        }
        tone.setSampleRate(rate);
        shapeBuses();
    }

    ~ToneRig()
    {
        // The parts let go of their sets (the last one deletes it); the
        // slots are no users.
    }

    ToneRig(const ToneRig&) = delete;
    ToneRig& operator=(const ToneRig&) = delete;

    // Global program parameter i of program 0.
    void setGlobal(int i, int value) { vela.getGlobalPart()->setParaVal(0, i, value); }
    // A matrix row: source, amount (-1..1) and destination.
    void setRow(int row, int source, float amount, int dest)
    {
        setGlobal(VelaGlo_c::gpModSource + row, source);
        setGlobal(VelaGlo_c::gpModAmount + row, static_cast<int>(amount * 10000.0f));
        setGlobal(VelaGlo_c::gpModDest + row, dest);
    }
    // Parameter idx of child `child`'s set.
    void setModule(int child, int idx, int value) { tone.getPart(child)->setParaVal(0, idx, value); }
    Instrument_c* instrument() { return vela.getInstPtr(0); }

    // Routes the slot-1 and slot-3 generators by the global routing values,
    // as the patch bay's conditional routes do.
    void route()
    {
        const int routingA = vela.getGlobalPart()->getParaVal(0, VelaGlo_c::gpGen0Routing);
        const int routingB = vela.getGlobalPart()->getParaVal(0, VelaGlo_c::gpGen2Routing);
        for (Generator_c* g : generatorsOfSlot(0))
            g->setOutBufFixed(routingA == 0 ? &panBuf[0] : &xModBuf[0], nullptr);
        for (Generator_c* g : generatorsOfSlot(2))
            g->setOutBufFixed(routingB == 0 ? &panBuf[2] : &xModBuf[1], nullptr);
    }

    void noteOn(int note, int velocity, bool legato = false)
    {
        route();
        NoteC_c n;
        n.set(note, velocity, 0);
        tone.prepProc(0, n, false, legato);
    }
    void noteOff(int note)
    {
        Note_c n;
        n.set(note, 0);
        tone.NoteOff(0, n);
    }

    // One piece of n frames; true when the voice reports itself finished.
    bool render(int n)
    {
        for (InBuffer2_c* b : allBuses())
            b->prepCycle(n);
        const bool finished = tone.render(n);
        for (int i = 0; i < n; ++i) {
            left.push_back(0.0f);
            right.push_back(0.0f);
        }
        const size_t at = left.size() - static_cast<size_t>(n);
        for (InBuffer2_c& b : effBuf) {
            float* l = nullptr;
            float* r = nullptr;
            if (!b.hasContent() || !b.wantReadStereo(&l, &r))
                continue;
            for (int i = 0; i < n; ++i) {
                left[at + i] += l[i];
                right[at + i] += r[i];
            }
        }
        return finished;
    }
    // Renders total frames in blocks of `block`; the block at which the voice
    // finished (-1: it did not).
    int run(int total, int block)
    {
        int finishedAt = -1;
        int blocks = 0;
        for (int done = 0; done < total; done += block, ++blocks)
            if (render(std::min(block, total - done)) && finishedAt < 0)
                finishedAt = blocks;
        return finishedAt;
    }

    // The generators of slot k (0..3) that the voice may select.
    std::vector<Generator_c*> generatorsOfSlot(int k)
    {
        std::vector<Generator_c*> g = {&tone.osc[k], &tone.timeSampler[k], &tone.wavetable[k]};
        if (k < 2)
            g.push_back(&tone.loopSampler[k]);
        return g;
    }

    float sampleRate;
    Vela_c vela{quietHost, false};
    VelaTone_c tone;
    ParaSet_c* sets[VelaTone_c::ChildCount] = {};
    float control[VelaTone_c::ControlBufferCount][VelaTone_c::ControlBufferValues] = {};
    InBuffer2_c xModBuf[2], panBuf[4], filBuf[2], effBuf[2], outBuf;
    std::vector<float> left, right;

private:
    std::vector<InBuffer2_c*> allBuses()
    {
        return {&xModBuf[0], &xModBuf[1], &panBuf[0], &panBuf[1], &panBuf[2], &panBuf[3],
                &filBuf[0],  &filBuf[1],  &effBuf[0], &effBuf[1], &outBuf};
    }

    void shapeBuses()
    {
        xModBuf[0].create("XModBuf0", MaxBlockSize, 1, OneBuffer, true, false);
        xModBuf[1].create("XModBuf1", MaxBlockSize, 1, OneBuffer, true, false);
        const char* panNames[4] = {"PanBuf0", "PanBuf1", "PanBuf2", "PanBuf3"};
        for (int k = 0; k < 4; ++k)
            panBuf[k].create(panNames[k], MaxBlockSize, 2, NullBuffer, true, false);
        filBuf[0].create("FilBuf0", MaxBlockSize, 2, NullBuffer, true, false);
        filBuf[1].create("FilBuf1", MaxBlockSize, 2, NullBuffer, true, false);
        effBuf[0].create("EffBuf0", MaxBlockSize, 2, NullBuffer, false, true);
        effBuf[1].create("EffBuf1", MaxBlockSize, 2, NullBuffer, false, true);
        outBuf.create("OutBuf", MaxBlockSize, 6, NullBuffer, false, true);

        // Slot-2 and slot-4 generators read their modulator's bus; slots 2
        // and 4 always reach their panner bus.
        for (Generator_c* g : generatorsOfSlot(1)) {
            g->setInBuf(&xModBuf[0]);
            g->setOutBufFixed(&panBuf[1], nullptr);
        }
        for (Generator_c* g : generatorsOfSlot(3)) {
            g->setInBuf(&xModBuf[1]);
            g->setOutBufFixed(&panBuf[3], nullptr);
        }
        route();
        for (int k = 0; k < 4; ++k) {
            tone.balance[k].setInBuf(&panBuf[k]);
            tone.balance[k].setOutBufFixed(&filBuf[0], &filBuf[1]);
        }
        for (int q = 0; q < 2; ++q) {
            tone.slotPan51[q].setInBuf(&panBuf[q]);
            tone.slotPan51[q].setOutBufFixed(&outBuf, nullptr);
            tone.saturator[q].setInBuf(&filBuf[q]);
            tone.saturator[q].setOutBufFixed(&filBuf[q], nullptr);
            for (Part_c* p : {static_cast<Part_c*>(&tone.ladder[q]), static_cast<Part_c*>(&tone.morph[q]),
                              static_cast<Part_c*>(&tone.amp[q])}) {
                p->setInBuf(&filBuf[q]);
                p->setOutBufFixed(&effBuf[q], nullptr);
            }
            tone.pathPan51[q].setInBuf(&effBuf[q]);
            tone.pathPan51[q].setOutBufFixed(&outBuf, nullptr);
        }
    }
};

} // namespace tonetest

// A plug-in player for the instrument tests: see VelaPlayer.
#pragma once

#include "EPAS.h"
#include "EngineTestHost.h"
#include "ParaSet.h"
#include "SysGlo.h"
#include "Vela.h"
#include "VelaInst.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

// The stereo plug-in object, opened and switched on at 48 kHz in blocks of
// 256 as a host does, with its global parameters set through their
// host-parameter entries (so the change hook runs) and notes played into it.
// Thread: render on the test's audio thread, the rest on its own thread.
class VelaPlayer
{
public:
    static constexpr float Rate = 48000.0f;
    static constexpr int Block = 256;

    VelaPlayer()
    {
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, Rate);
        call(effSetBlockSize, 0, Block);
        call(effMainsChanged, 0, 1);
    }
    ~VelaPlayer() { call(effMainsChanged, 0, 0); }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }

    // Parameter para of logical module `number` to its integer value, through
    // its host-parameter entry (so the change hook runs).
    void set(int number, int para, int value)
    {
        Part_c* part = vela->getModule(number);
        ASSERT_NE(part, nullptr) << "module " << number;
        // The host's 0..1 form of value, taken through the set itself so that
        // no change hook sees the value come and go.
        ParaSet_c* paras = part->getParaSet();
        ASSERT_NE(paras, nullptr);
        const int before = part->getParaVal(0, para);
        paras->setParaVal(0, para, value);
        const float x = part->getPara01(0, para);
        paras->setParaVal(0, para, before);
        for (int i = 0; i < NumParameterSlots; ++i) {
            const EPAS_c* d = vela->getEPAS(i);
            if (d && d->target == part && d->parameter == para && d->selector == 0 && !d->readOnly) {
                vela->setParameterAutomated(i, x);
                ASSERT_EQ(part->getParaVal(0, para), value) << "module " << number << " parameter " << para;
                return;
            }
        }
        FAIL() << "no host entry for module " << number << " parameter " << para;
    }
    void setGlobal(int para, int value) { set(0, para, value); }
    // Per-instrument setting para of instrument 0, with the engine's change
    // handling as the editor runs it.
    void setInstrumentSetting(int para, int value)
    {
        Part_c* settings = vela->getSynGloIns();
        settings->setParaVal(0, para, value);
        vela->postprocessParaChange(0, settings, para);
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
    Vela_c& plugin() { return *vela; }
    AEffect* effect() { return e; }
    EngineTestHost& testHost() { return host; }

    // One MIDI message, applied at frame offset of the next block.
    void midi(int status, int data1, int data2, int offset = 0)
    {
        VstMidiEvent m{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = offset;
        m.midiData[0] = static_cast<char>(status);
        m.midiData[1] = static_cast<char>(data1);
        m.midiData[2] = static_cast<char>(data2);
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&m);
        call(effProcessEvents, 0, 0, &list);
    }

private:
    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
};

// One engine for the engine-level tests, set up by a TestEngineSetup: the
// construction figures, the host callback, its instruments (made with the
// engine, put in its slots when it opens) and, unless the setup leaves them
// out, a small module graph of test modules registered as a product would:
//   'PGLO' the global program part (group 0, one set per program memory)
//   'VOSC' a voice module (group 0, two instances sharing one set)
//   'GFX0' a global module (group 2), when asked for
// The engine's own idle timer is stopped once it is open unless the setup
// keeps it, so a test is the only one that takes records from the idle queue
// (the queued user messages among them). Tests derive from it to record what
// the engine calls.
#pragma once

#include "CmdBuffer.h"
#include "EngineTestHost.h"
#include "HoldData.h"
#include "Instrument.h"
#include "RegMod.h"
#include "RegistryTestParts.h"
#include "Synth.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace EngineTest {

using RegistryTest::fourCC;
using RegistryTest::TestModule;

constexpr int TypePGLO = fourCC('P', 'G', 'L', 'O');
constexpr int TypeVOSC = fourCC('V', 'O', 'S', 'C');
constexpr int TypeGFX0 = fourCC('G', 'F', 'X', '0');

struct TestEngineSetup
{
    // The product's own parameter figures, four programs, one instrument.
    SynthFigures figures{.programs = 4,
                         .parameterSlots = 967,
                         .hostParameters = 602,
                         .productName = "Test",
                         .acceptedIds = "Tsx3,Tsy2",
                         .versionText = "1.0",
                         .codeName = "Test"};
    audioMasterCallback host = EngineTestHost::callback;
    bool testModules = true;       // registers 'PGLO' and 'VOSC'
    bool globalEffect = false;     // registers 'GFX0' as well
    bool createInstruments = true; // each instrument is created on opening
    // A subclass that keeps the idle timer closes the engine in its own
    // destructor: the timer calls virtual members from its thread.
    bool keepIdleTimer = false;
    int dirtyMarker = -1;       // the descriptor the engine marks changes on (-1: none)
};

struct Message
{
    std::string title;
    std::string text;
};

class ConfigurableTestEngine : public Synth
{
public:
    explicit ConfigurableTestEngine(const TestEngineSetup& setup)
        : Synth(setup.host, setup.figures), setup(setup)
    {
        for (int i = 0; i < setup.figures.instruments; ++i)
            own.push_back(std::make_unique<Instrument_c>(2));
        for (int i = 0; i < 2; ++i)
            osc.push_back(std::make_unique<TestModule>(TypeVOSC));
    }
    ~ConfigurableTestEngine() override
    {
        takeMessages();
        if (isOpen())
            closeShutdown();
    }

    void open() override
    {
        if (isOpen())
            return;
        Synth::open();
        if (!isOpen())
            return;
        if (!setup.keepIdleTimer)
            idleTimer.stopTimer();
        for (size_t i = 0; i < own.size(); ++i) {
            if (setup.createInstruments)
                own[i]->create(this, static_cast<int>(i), 0, false);
            instruments[i] = own[i].get();
        }
        if (setup.dirtyMarker >= 0)
            setDirtyMarkerIndex(setup.dirtyMarker);
        if (!setup.testModules)
            return;
        int row = -1;
        registerFirstModul(&row, &globalProgram, 0, 1, rmgInstrument);
        rowPGLO = row;
        registerFirstModul(&row, osc[0].get(), 0, 2, rmgInstrument);
        registerNextModul(row, 1, osc[1].get());
        rowVOSC = row;
        if (setup.globalEffect) {
            registerFirstModul(&row, &globalFx, 0, 1, rmgGlobal);
            rowGFX0 = row;
        }
    }

    // The queued user messages, oldest first; their texts are freed, other
    // records go back into the ring.
    std::vector<Message> takeMessages()
    {
        std::vector<Message> out;
        CmdBuffer_c* ring = cmdQueues.toGUI;
        HoldData_c r;
        std::vector<HoldData_c> others;
        while (ring && ring->unholdEvent(&r)) {
            if (r.command == 'P') {
                out.push_back({r.ptr2 ? static_cast<const char*>(r.ptr2) : "",
                               r.ptr1 ? static_cast<const char*>(r.ptr1) : ""});
                std::free(r.ptr1);
            } else if (r.command != 0) {
                others.push_back(r);
            }
        }
        for (HoldData_c& o : others)
            ring->holdEvent(&o, hdAppend);
        return out;
    }

    // The live value of parameter para of a module row's set.
    int value(int row, int set, int para) const
    {
        const RegMod_t* r = getRegMod(row);
        return r && r->paraSet ? r->paraSet->getParaVal(set, para) : -12345;
    }
    void setValue(int row, int set, int para, int v)
    {
        const RegMod_t* r = getRegMod(row);
        if (r && r->paraSet)
            r->paraSet->setParaVal(set, para, v);
    }

    Instrument_c* instrument(int i) { return own[static_cast<size_t>(i)].get(); }

    const TestEngineSetup setup;
    TestModule globalProgram{TypePGLO};
    std::vector<std::unique_ptr<TestModule>> osc;
    TestModule globalFx{TypeGFX0};
    std::vector<std::unique_ptr<Instrument_c>> own;
    int rowPGLO = -1;
    int rowVOSC = -1;
    int rowGFX0 = -1;
};

} // namespace EngineTest

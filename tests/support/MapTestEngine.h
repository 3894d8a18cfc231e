// An engine for the registry and parameter-map tests: the configurable test
// engine with the product's own figures (967 parameter slots, 602 host
// parameters, stride 1024), two instruments and four programs, no test
// modules and no host; its plain instruments (not created) are in their
// slots once it opens, and the writes take their optional locks. It records
// descriptor callbacks and can pretend that audio blocks have run or that
// controllers are assigned.
#pragma once

#include "Capacities.h"
#include "CmdBuffer.h"
#include "ConfigurableTestEngine.h"
#include "EPAS.h"
#include "Instrument.h"
#include "RegMod.h"
#include "RegistryTestParts.h"
#include "Synth.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace RegistryTest {

constexpr int ParaSlots = 967;
constexpr int HostStride = 1024;

class MapTestEngine : public EngineTest::ConfigurableTestEngine
{
public:
    explicit MapTestEngine(int instrumentCount = 2)
        : ConfigurableTestEngine({.figures = {.insProgramMemories = instrumentCount,
                                              .programs = 4,
                                              .parameterSlots = ParaSlots,
                                              .hostParameters = NumHostParameters,
                                              .stride = HostStride,
                                              .instruments = instrumentCount,
                                              .productName = "Test",
                                              .versionText = "1.0",
                                              .codeName = "MapTest"},
                                  .host = nullptr,
                                  .testModules = false,
                                  .createInstruments = false,
                                  .keepIdleTimer = true})
    {
    }
    // The idle timer calls virtual members from its own thread: it stops
    // before any base destructor rewrites the object's dynamic type.
    ~MapTestEngine() override
    {
        if (isOpen())
            closeShutdown();
    }

    // Descriptor callback: records the host index it was called for.
    void recordWrite(int local, Part_c*, int)
    {
        std::lock_guard<std::mutex> guard(writesMutex);
        writes.push_back(local);
    }
    static EPAS_c::Callback_t recorder() { return static_cast<EPAS_c::Callback_t>(&MapTestEngine::recordWrite); }

    bool isParameterCCAssigned(int, int) override { return ccAssigned; }
    void pretendAudioRan() { sampleCounter = 256; }
    // Records waiting in the ring toward the audio thread.
    int audioRecords() const { return cmdQueues.toRT ? cmdQueues.toRT->getCount() : 0; }
    void setEdited(int ins) { curEditIns = ins; }
    Instrument_c* instrument(int i) { return instruments ? instruments[i] : nullptr; }
    // Puts another instrument in slot i (open engine only).
    void setInstrument(int i, Instrument_c* inst)
    {
        if (instruments)
            instruments[i] = inst;
    }

    // Fills descriptor i; false when the map has no such slot.
    bool describe(int i, const char* name, int insCode, Part_c* target, int para, bool readOnly = false,
                  int selector = 0, bool recorded = false)
    {
        EPAS_c* d = getEPAS(i);
        if (!d)
            return false;
        d->set(i, name, true, insCode, selector, target, para, readOnly, -1, recorded ? recorder() : nullptr);
        return true;
    }

    std::mutex writesMutex;
    std::vector<int> writes;
    bool ccAssigned = false;
};

} // namespace RegistryTest

#include "Vela.h"

#include "Capacities.h"
#include "ECS2.h"
#include "EPAS.h"
#include "SysGlo.h"
#include "VelaInst.h"

#include <cstring>

namespace {

// The final output configurations: L R, C Lfe as mono, Ls Rs in the 5.1
// build; one stereo pair in the stereo build.
struct OutputConfig
{
    int stereo;
    int mono;
};
constexpr OutputConfig Config51{2, 2};
constexpr OutputConfig ConfigStereo{1, 0};

// The two descriptors a touch never makes the learn target.
constexpr int LearnExcludedFirst = 610;
constexpr int LearnExcludedSecond = 611;

// The default controller assignments: controller -> host parameter.
struct DefaultAssignment
{
    int controller;
    int hostIndex;
};
constexpr DefaultAssignment DefaultAssignments[] = {
    {20, 4},    {28, 5},    {52, 6},    {60, 7},    {74, 124},  {75, 141},  {76, 142},  {77, 143},
    {78, 144},  {79, 145},  {80, 114},  {81, 116},  {82, 125},  {83, 147},  {84, 148},  {85, 149},
    {86, 150},  {87, 151},  {88, 115},  {89, 117},  {90, 134},  {91, 135},  {92, 136},  {93, 137},
    {94, 138},  {95, 139},  {102, 126}, {103, 127},
};

} // namespace

Vela_c::Vela_c(audioMasterCallback audioMaster, bool is51Build)
    : Synth(audioMaster, 1, 0, NumPrograms, NumParameterSlots, NumHostParameters,
            HostParameterStride, NumVelaInstruments, NumVoices, 0, NumVelaStereoPairs, 0, 0,
            ProductName, AcceptedIds, VersionText, CodeName, true, true),
      build51(is51Build), render51(is51Build),
      instrument(std::make_unique<VelaInst_c>(is51Build ? NumOutputs51 : NumOutputsStereo))
{
    if (!isConstructed())
        return;
    setUniqueID(is51Build ? UniqueId51 : UniqueIdStereo);
    // The host sees the product's final pin count from the start (a host may
    // read it before it opens the plug-in); open sets it again.
    const OutputConfig config = build51 ? Config51 : ConfigStereo;
    initOutputConfiguration(config.stereo, config.mono, 0);
}

Vela_c::~Vela_c()
{
    // Closed here, while the instrument still exists: the idle timer stops
    // and the engine's tables go before the members they point to.
    if (isOpen())
        closeShutdown();
}

void Vela_c::open()
{
    if (isOpen() || !isConstructed())
        return;
    opening = true;
    Synth::open();
    if (!isOpen()) {
        opening = false;
        return;
    }
    fillParameterMap();
    setLearnExcluded(LearnExcludedFirst, LearnExcludedSecond);
    const OutputConfig config = build51 ? Config51 : ConfigStereo;
    initOutputConfiguration(config.stereo, config.mono, 0);
    render51 = build51;
    initProcess();
    MidiReset();
    tweakParameter(0, getNumInstruments());
    flagOpen = getFlagInitialized();
    handlePrgChanged(0);
    suspend();
    opening = false;
}

void Vela_c::fillParameterMap()
{
    // Until the instrument's own table of every module parameter exists, the
    // first host parameters are the instrument settings (parameter 0, the
    // version, is not offered); the other slots stay unset.
    SynGloIns_c* settings = getSynGloIns();
    int index = 0;
    for (int para = 1; settings && para < SynGloInsParaCount && index < NumHostParameters; ++para) {
        EPAS_c* d = getEPAS(index);
        if (!d)
            break;
        char name[ParaNameBufferBytes] = {};
        settings->getParaName(0, para, name);
        d->set(index, name, false, 0, 0, settings, para, false, -1, nullptr);
        ++index;
    }
}

void Vela_c::initProcess()
{
    instrument->create(this, 0, NumVoices, false);
    if (getEngineSampleRate() > 0.0)
        instrument->setSampleRate(static_cast<float>(getEngineSampleRate()));
    instrument->setOutIdx(0);
    instruments[0] = instrument.get();
}

void Vela_c::validateOutputs()
{
    if (build51 && hostId != 0 && hostId != 5) {
        bool all = true;
        for (int i = 0; i < NumOutputs51 && all; ++i)
            all = isOutputConnected(i);
        const OutputConfig config = all ? Config51 : ConfigStereo;
        if (config.stereo != numStereo || config.mono != numMono) {
            initOutputConfiguration(config.stereo, config.mono, 0);
            checkOutputBuses();
        }
        render51 = all;
    }
    outputsValidated = true;
}

bool Vela_c::getOutputProperties(int32_t index, VstPinProperties* properties)
{
    if (!properties)
        return false;
    auto setLabel = [properties](const char* label) {
        std::strncpy(properties->label, label, sizeof(properties->label) - 1);
        properties->label[sizeof(properties->label) - 1] = 0;
    };
    if (!build51) {
        // Any index is a stereo pin; only the real pair gets a name.
        properties->flags = kVstPinIsActive | kVstPinIsStereo;
        if (index == 0 || index == 1)
            setLabel(ProductName);
        return true;
    }
    if (index < 0 || index >= NumOutputs51)
        return false;
    static const char* const labels[NumOutputs51] = {"TsX3 L",  "TsX3 R",  "TsX3 C",
                                                     "TsX3 Lfe", "TsX3 LS", "TsX3 RS"};
    // Centre and LFE are single channels; the others form the front and rear pairs.
    const bool pairedChannel = index != 2 && index != 3;
    properties->flags = kVstPinIsActive | (pairedChannel ? kVstPinIsStereo : 0);
    setLabel(labels[index]);
    return true;
}

void Vela_c::initECS()
{
    ECS2_c* table = getECS();
    if (!table)
        return;
    // Offered at every resume; a control that has a controller already
    // keeps it, so each default goes in once.
    for (const DefaultAssignment& a : DefaultAssignments)
        table->assignCC(0, a.controller, 0, a.hostIndex, true, 0);
}

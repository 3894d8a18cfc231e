#include "Vela.h"

#include "Capacities.h"
#include "ECS2.h"
#include "EPAS.h"
#include "SysGlo.h"
#include "FileList.h"
#include "RegMod.h"
#include "VelaEditor.h"
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

// The engine's host id of Cubase, Cubasis and Nuendo.
constexpr int HostIdCubaseFamily = 0;

// An arrangement record of type and channels, the speakers numbered by the
// VST speaker types in channel order (L, R, C, Lfe, Ls, Rs); everything
// else zero.
VstSpeakerArrangement arrangementOf(int32_t type, int32_t channels)
{
    VstSpeakerArrangement a;
    std::memset(&a, 0, sizeof(a));
    a.type = type;
    a.numChannels = channels;
    for (int32_t c = 0; c < channels; ++c)
        a.speakers[c].type = kSpeakerL + c;
    return a;
}

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
    : Synth(audioMaster, {.programs = NumPrograms,
                          .parameterSlots = NumParameterSlots,
                          .hostParameters = NumHostParameters,
                          .stride = HostParameterStride,
                          .instruments = NumVelaInstruments,
                          .voices = NumVoices,
                          .stereoPairs = is51Build ? NumVelaStereoPairs : NumVelaStereoPairsStereo,
                          .productName = ProductName,
                          .acceptedIds = AcceptedIds,
                          .versionText = VersionText,
                          .codeName = CodeName}),
      instrument(is51Build ? NumOutputs51 : NumOutputsStereo), build51(is51Build)
{
    if (!isConstructed())
        return;
    // Up while the object is built: the idle timer and other entries leave
    // a half-built plug-in alone.
    opening = true;
    setUniqueID(is51Build ? UniqueId51 : UniqueIdStereo);
    importing = false;
    // The editor is made with the plug-in; until it draws, the host is not
    // offered a window (the has-editor flag stays clear).
    setEditor(new VelaEditor_c(this));
    setFlag(effFlagsHasEditor, false);
    // Everything below runs with or without an editor: a plug-in that has
    // none still needs its outputs and its program lists.
    if (FileList_c* programs = getPrgList(0))
        programs->create("empty", Tool::Disk::Extension_c("fxp"), NumPrograms, false);
    if (FileList_c* folders = getBnkList(0))
        folders->create("empty", Tool::Disk::Extension_c(""), NumPrograms, false);
    const OutputConfig config = build51 ? Config51 : ConfigStereo;
    initOutputConfiguration(config.stereo, config.mono, 0);
    if (!build51)
        setForceStereo(true);
    opening = false;
}

Vela_c::~Vela_c()
{
    // The editor reads the members: it goes while they all still exist.
    AEffEditor* ownEditor = editor;
    setEditor(nullptr);
    delete ownEditor;
    // Closed here, while the members exist: the idle timer stops and the
    // engine's tables go before the members they point to.
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
    // Once the outputs have been cut they are never raised again.
    if (!outputsValidated) {
        const OutputConfig config = build51 ? Config51 : ConfigStereo;
        initOutputConfiguration(config.stereo, config.mono, 0);
    }
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
    // The global part is the first module row of the program, so program
    // memories, FXP files and both chunk forms carry it. The module graph
    // will register it as module 0 with the other modules.
    registerFirstModul(&globalPartRow, &globalPart, 0, 1, rmgInstrument);
    instrument.create(this, 0, NumVoices, false);
    if (getEngineSampleRate() > 0.0)
        instrument.setSampleRate(static_cast<float>(getEngineSampleRate()));
    instrument.setOutIdx(0);
    instruments[0] = &instrument;
}

void Vela_c::validateOutputs()
{
    // The outputs count up to the first pin the host leaves unconnected.
    int count = getNumOutputs();
    for (int i = 0; i < count; ++i)
        if (!isOutputConnected(i)) {
            count = i;
            break;
        }
    // Fewer than all six: stereo into outputs 1 and 2, the 5.1 panners
    // folding into them. Never below two.
    if (count < NumOutputs51) {
        initOutputConfiguration(ConfigStereo.stereo, ConfigStereo.mono, 0);
        setForceStereo(true);
    }
    // The instrument's output index follows; the redraw and the host's
    // display refresh go to the idle side when this is the audio thread.
    checkOutputBuses();
    outputsValidated = true;
}

void Vela_c::setForceStereo(bool on)
{
    forceStereo = on;
    for (VelaTone_c& tone : tones)
        tone.setForceStereo(on);
    // The instrument's three effect panners take the flag when the effect
    // sets are built into the instrument part.
}

void Vela_c::updateOutBuf()
{
    OutBuf.setBufPtr(outPtrs);
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
    properties->flags = kVstPinIsActive;
    if (getHostId() == HostIdCubaseFamily) {
        // These hosts build the 5.1 bus from the speaker flag and type.
        setLabel(ProductName);
        properties->flags |= kVstPinUseSpeaker;
        properties->arrangementType = kSpeakerArr51;
        return true;
    }
    static const char* const labels[NumOutputs51] = {"TsX3 L",  "TsX3 R",  "TsX3 C",
                                                     "TsX3 Lfe", "TsX3 LS", "TsX3 RS"};
    // Centre and LFE are single channels; the others form the front and rear pairs.
    if (index != 2 && index != 3)
        properties->flags |= kVstPinIsStereo;
    setLabel(labels[index]);
    return true;
}

bool Vela_c::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement* output)
{
    if (!output)
        return false;
    if (build51)
        return output->type == kSpeakerArr51 && output->numChannels == NumOutputs51;
    return output->type == kSpeakerArrStereo && output->numChannels == NumOutputsStereo;
}

bool Vela_c::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output)
{
    // Filled once for the process and never written again, so instances on
    // different threads only ever read them.
    static VstSpeakerArrangement noInputs = arrangementOf(kSpeakerArrEmpty, 0);
    static VstSpeakerArrangement outputs51 = arrangementOf(kSpeakerArr51, NumOutputs51);
    static VstSpeakerArrangement outputsStereo = arrangementOf(kSpeakerArrStereo, NumOutputsStereo);
    if (input)
        *input = &noInputs;
    if (output)
        *output = build51 ? &outputs51 : &outputsStereo;
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

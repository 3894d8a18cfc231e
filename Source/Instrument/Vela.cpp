#include "Vela.h"

#include "AEffEditor.h"
#include "Capacities.h"
#include "ECS2.h"
#include "EPAS.h"
#include "FileList.h"
#include "LFO.h"
#include "NoteFreqTable.h"
#include "RegMod.h"
#include "SysGlo.h"
#include "VelaExtTable.h"
#include "VelaInst.h"

#include <cstring>
#include <initializer_list>

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

// Voice 0's child slot of each voice module number 40..90 (the order in
// which the voice defines its children); -1 for the parts inside an LFO,
// which are reached through the LFO.
constexpr int VoiceChildOf[] = {
    0,  1,  2,  3,                  // 40..43 LFOs
    4,  5,  6,  7,  8,  9,  10,     // 44..50 envelopes Gen 1, Gen 2, Mod 1, Mod 2, Filter 1, Filter 2, Amp
    11,                             // 51 glide
    12, 13, 14, 15,                 // 52..55 oscillators
    16, 17, 18, 19,                 // 56..59 time samplers
    20, 21, 22, 23,                 // 60..63 wavetable generators
    24, 25,                         // 64, 65 loop samplers
    32, 33, 34, 35, 30, 31,         // 66..71 ladder, morphing filters, saturators
    -1, -1, -1, -1, -1, -1, -1, -1, // 72..79 inside the LFOs
    26, 27, 28, 29,                 // 80..83 slot panners
    37, 38, 39, 40,                 // 84..87 5.1 panners
    36,                             // 88 distortion
    41, 42,                         // 89, 90 amplifiers
};
constexpr int FirstVoiceModule = 40;
constexpr int LastVoiceModule = 90;

// The effect type of each module of a set (offset 0..16 inside the set);
// -1 for the inner LFOs: 2..4 the chorus's, 6 the phaser's, 8 the filter
// effect's.
constexpr int EffectTypeAt[] = {VelaInst_c::fxDelay,    VelaInst_c::fxChorus,         -1, -1, -1,
                                VelaInst_c::fxPhaser,   -1,                           VelaInst_c::fxFilter,
                                -1,                     VelaInst_c::fxReverb,         VelaInst_c::fxStereoDelay,
                                VelaInst_c::fxFlanger,  VelaInst_c::fxStereoEnhancer, VelaInst_c::fxParamEQ,
                                VelaInst_c::fxGator,    VelaInst_c::fxCrusher,        VelaInst_c::fxPingPong};
constexpr int SetModules = 17; // numbers per effect set
constexpr int SetStride = 20;  // 100, 120, 140

} // namespace

std::atomic<Vela_c::EditorFactory_t> Vela_c::editorFactory{nullptr};

void Vela_c::setEditorFactory(EditorFactory_t factory)
{
    editorFactory.store(factory);
}

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
    // The editor is made with the plug-in, by the factory the plug-in's
    // editor registered. Without one (tests, tools) a bare editor object
    // stands in: it declines to open, and the has-editor flag stays clear.
    if (EditorFactory_t makeEditor = editorFactory.load()) {
        setEditor(makeEditor(this));
    } else {
        setEditor(new AEffEditor(this));
        setFlag(effFlagsHasEditor, false);
    }
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
    // The timer may idle the editor: it stops before the editor goes.
    idleTimer.stopTimer();
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
    importing = false;
    Synth::open();
    // Nothing of the instrument goes on a half-opened engine: without its
    // tables the steps below would fill and register into nothing.
    if (!isOpen()) {
        opening = false;
        return;
    }
    {
        // Held for the rest of the opening and given back by one: a host
        // call that holds the counter meanwhile keeps its own hold.
        BusyScope busyScope(*this);
        fillParameterMap();
        if (Instrument_c** list = instruments)
            list[0] = &instrument;
        // Once the outputs have been cut they are never raised again.
        if (!outputsValidated) {
            const OutputConfig config = build51 ? Config51 : ConfigStereo;
            initOutputConfiguration(config.stereo, config.mono, 0);
        }
        for (int k = 0; k < 2; ++k) {
            shownZone[k] = 0;
            shownSample[k] = nullptr;
        }
        initProcess();
        MidiReset();
        tweakParameter(0, getNumInstruments());
        flagOpen = getFlagInitialized();
        handlePrgChanged(0);
        suspend();
        updateVersionInfo();
    }
    opening = false;
}

void Vela_c::fillParameterMap()
{
    const std::vector<ExtRow>& rows = velaExtTable();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        EPAS_c* d = getEPAS(i);
        if (!d)
            break;
        const ExtRow& r = rows[i];
        Part_c* target = nullptr;
        switch (r.target) {
        case ExtTarget::None: break;
        case ExtTarget::Module: target = getModule(r.module); break;
        case ExtTarget::SynGlo: target = getSynGlo(); break;
        case ExtTarget::SynGloIns: target = getSynGloIns(); break;
        case ExtTarget::SysGlo: target = getSysGlo(); break;
        case ExtTarget::Ecs: target = getECS(); break;
        case ExtTarget::Tuning: target = getTuningTable(); break;
        }
        // A row whose module is not built stays an editor-only slot rather
        // than pointing at nothing.
        const int para = target ? r.para : -1;
        d->set(i, r.name.c_str(), r.display, r.instrument, r.selector, target, para, r.readOnly, -1, nullptr);
    }
    for (const VelaExt::RedrawLink& l : velaRedrawLinks()) {
        storeInEPASAdd(l.from, l.to);
        if (l.both)
            storeInEPASAdd(l.to, l.from);
    }
    for (const auto& [a, b] : velaValueCopyPairs())
        defineValCopy(a, b, true);
    setDirtyMarkerIndex(VelaExt::DirtyEntry);
    setLearnExcluded(VelaExt::LearnExcludedA, VelaExt::LearnExcludedB);
    stepDisplayIndex[0] = VelaExt::ActiveStepEntry;
    for (const VelaExt::Selector& s : VelaExt::Selectors)
        defineSelector(s.number, s.entry, s.stride);
}

Part_c* Vela_c::getModule(int number)
{
    using namespace VelaExt;
    if (number == ModGlobal)
        return &globalPart;
    if (number >= ModUserSample1 && number < ModUserSample1 + 4)
        return &userSamples[number - ModUserSample1];
    if (number >= ModWaveTable1 && number < ModWaveTable1 + 4)
        return &waveTables[number - ModWaveTable1];
    if (number >= ModMulti1 && number < ModMulti1 + 2)
        return &multiSamples[number - ModMulti1];
    if (number >= FirstVoiceModule && number <= LastVoiceModule) {
        VelaTone_c& voice = tones[0];
        if (number >= ModLFOSimp1 && number < ModEnvDAD1 + 4) {
            auto* lfo = dynamic_cast<AdvLFO_c*>(voice.getPart((number - ModLFOSimp1) % 4));
            if (!lfo)
                return nullptr;
            return number < ModEnvDAD1 ? static_cast<Part_c*>(&lfo->lfo) : &lfo->env;
        }
        return voice.getPart(VoiceChildOf[number - FirstVoiceModule]);
    }
    if (number >= ModSet0 && number < ModSetX + SetModules) {
        const int set = (number - ModSet0) / SetStride;
        const int offset = (number - ModSet0) % SetStride;
        if (offset >= SetModules)
            return nullptr;
        if (EffectTypeAt[offset] >= 0)
            return instrument.getEffect(set, EffectTypeAt[offset]);
        if (offset == SetChorus + 1 || offset == SetChorus + 2 || offset == SetChorus + 3) {
            Chorus1_c* chorus = instrument.getChorus(set);
            return chorus ? &chorus->getLFO(offset - SetChorus - 1) : nullptr;
        }
        if (offset == SetPhaser + 1) {
            Phaser1S_c* phaser = instrument.getPhaser(set);
            return phaser ? &phaser->lfo : nullptr;
        }
        GloFil_c* filter = instrument.getFilterEffect(set);
        return filter ? &filter->lfo : nullptr;
    }
    if (number == ModStepSeq)
        return instrument.getStepSeq(0);
    if (number == ModChordMem)
        return instrument.getChordMem();
    if (number >= ModPan51Fx0 && number < ModPan51Fx0 + 3)
        return instrument.getPanner(number - ModPan51Fx0);
    return nullptr;
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
    for (VelaTone_c& tone : tones) {
        tone.setForceStereo(on);
        for (Pan51_c* panner : {&tone.slotPan51[0], &tone.slotPan51[1], &tone.pathPan51[0], &tone.pathPan51[1]})
            panner->setForceStereo(on);
    }
    for (int k = 0; k < VelaInst_c::NumFxPanners; ++k)
        if (Pan51_c* panner = instrument.getPanner(k))
            panner->setForceStereo(on);
}

void Vela_c::updateOutBuf()
{
    // The output bus has six channels in both builds; the channels the host
    // has no buffer for (all but two in the stereo build or a folded 5.1
    // build) go to a block nobody reads, so the bus stays bound and the
    // front pair keeps sounding.
    float* channels[NumOutputs51];
    for (int c = 0; c < NumOutputs51; ++c) {
        float* host = outPtrs && c < getNumOutputs() ? outPtrs[c] : nullptr;
        channels[c] = host ? host : outSink.get();
    }
    OutBuf.setBufPtr(channels);
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

// The voice: its children, sources, destinations and bindings. The note
// start and the block render live in VelaToneRender.cpp. See VelaTone.h and
// docs/voice-assembly.md.
#include "VelaTone.h"

#include "Vela.h"
#include "VelaGlo.h"

#include <algorithm>
#include <iterator>

namespace {

// Destination numbers of the matrix ("Mod.Dest." values) that are not a
// plain run of the block.
constexpr int DestSlotAmp[4] = {0, 5, 10, 14};
constexpr int DestSlotPitch[4] = {1, 6, 11, 15};
constexpr int DestSlotAux[4] = {2, 7, 12, 16};
constexpr int DestSlotBalance[4] = {3, 8, 13, 17};
constexpr int DestStartOffset[2] = {4, 9};
constexpr int DestPathFirst[2] = {18, 24}; // cutoff, resonance, env depth, aux, pan, level
constexpr int DestMainLevel = 30;
constexpr int DestMainPitch = 31;
constexpr int DestRowAmount1 = VelaTone_c::DestRowAmountFirst;
constexpr int DestLFOSpeed1 = 36;
constexpr int DestLoopStart[2] = {38, 40}; // the slots' aux values again
constexpr int DestLoopEnd[2] = {39, 41};
// Attack, decay and release time inputs of these envelopes, from 42 on.
constexpr int DestEnvTimeFirst = 42;
constexpr int EnvTimeOrder[5] = {VelaTone_c::evAmp, VelaTone_c::evFilter1, VelaTone_c::evFilter2,
                                 VelaTone_c::evMod1, VelaTone_c::evMod2};

} // namespace

VelaTone_c::VelaTone_c() : Tone_c(false)
{
    for (int k = 0; k < 4; ++k)
        definePart(chLFO1 + k, &lfo[k]);
    for (int e = 0; e < EnvelopeCount; ++e)
        definePart(chEnvGen1 + e, &env[e]);
    definePart(chGlide, &glide);
    for (int k = 0; k < 4; ++k) {
        definePart(chOsc1 + k, &osc[k]);
        definePart(chTimeSampler1 + k, &timeSampler[k]);
        definePart(chWavetable1 + k, &wavetable[k]);
        definePart(chBalance1 + k, &balance[k]);
    }
    for (int p = 0; p < 2; ++p) {
        definePart(chLoopSampler1 + p, &loopSampler[p]);
        definePart(chSaturator1 + p, &saturator[p]);
        definePart(chLadder1 + p, &ladder[p]);
        definePart(chMorph1 + p, &morph[p]);
        definePart(chPan51Slot1 + p, &slotPan51[p]);
        definePart(chPan51Path1 + p, &pathPan51[p]);
        definePart(chAmp1 + p, &amp[p]);
    }
    definePart(chDistortion, &distortion);

    defineSources();
    defineDests();

    for (int e = 0; e < EnvelopeCount; ++e)
        env[e].setPtr(&modValue[meEnvelope1 + e], &modIncrement[meEnvelope1 + e], &modRemaining[meEnvelope1 + e]);
    glide.setPtr(&modValue[meGlide], &modIncrement[meGlide], &modRemaining[meGlide]);
    for (int k = 0; k < 4; ++k)
        lfo[k].setPtr(&modValue[meLFO1 + k], &modIncrement[meLFO1 + k], &modRemaining[meLFO1 + k]);

    selectedGen[0] = &osc[0];
    selectedGen[1] = &osc[1];
    selectedGen[2] = &osc[2];
    selectedGen[3] = &osc[3];
    selectedFilter[0] = &ladder[0];
    selectedFilter[1] = &ladder[1];
    takePostRows();
}

VelaTone_c::~VelaTone_c() = default;

// The fixed sources; 4..12 and 25 follow the playing instrument and are bound
// at every note start.
void VelaTone_c::defineSources()
{
    defineModSource(msNoteLog, &keySignedSquare, true, false);
    defineModSource(msNoteLin, &keyBipolar, true, false);
    defineModSource(msVelocity, &velocityBipolar, true, false);
    defineModSource(msAftertouch, &aftertouchSmoothed, true, true);
    for (int k = 0; k < 4; ++k)
        defineModSource(msLFO1 + k, &modValue[meLFO1 + k], false, false);
    for (int e = 0; e < EnvelopeCount; ++e)
        defineModSource(msGenEnvelope1 + e, &modValue[meEnvelope1 + e], false, true);
    defineModSource(msGlideCurve, &modValue[meGlide], false, false);
    defineModSource(msAlternate, &alternateValue, true, false);
    defineModSource(msConstant, &constantOne, true, true);
}

void VelaTone_c::defineDests()
{
    constexpr bool Add = true;
    constexpr bool Mul = false;
    constexpr bool NoteStart = true;
    for (int k = 0; k < 4; ++k) {
        defineModDest(DestSlotAmp[k], &block[bkSlotAmp1 + k], Mul, false);
        defineModDest(DestSlotPitch[k], &block[bkSlotPitch1 + k], Add, false);
        defineModDest(DestSlotAux[k], &block[bkSlotAux1 + k], Add, false);
        defineModDest(DestSlotBalance[k], &block[bkSlotBalance1 + k], Add, false);
    }
    for (int p = 0; p < 2; ++p) {
        defineModDest(DestStartOffset[p], &block[bkStartOffset1 + p], Add, NoteStart);
        const int d = DestPathFirst[p];
        defineModDest(d + 0, &block[bkCutoff1 + p], Add, false);
        defineModDest(d + 1, &block[bkResonance1 + p], Add, false);
        defineModDest(d + 2, &block[bkEnvDepth1 + p], Add, false);
        defineModDest(d + 3, &block[bkPathAux1 + p], Add, false);
        defineModDest(d + 4, &block[bkPathPan1 + p], Add, false);
        defineModDest(d + 5, &block[bkPathLevel1 + p], Mul, false);
        defineModDest(DestLFOSpeed1 + p, &block[bkLFOSpeed1 + p], Add, false);
        // The loop sampler's start is the slot's aux value: one float, two
        // names in the destination menu.
        defineModDest(DestLoopStart[p], &block[bkSlotAux1 + p], Add, false);
        defineModDest(DestLoopEnd[p], &block[bkLoopEnd1 + p], Add, false);
    }
    defineModDest(DestMainLevel, &block[bkMainLevel], Mul, false);
    defineModDest(DestMainPitch, &block[bkMainPitch], Add, false);
    for (int r = 0; r < ModulatedRowAmounts; ++r)
        defineModDest(DestRowAmount1 + r, &rowAmounts[r], Add, false);
    for (int i = 0; i < 5; ++i)
        for (int t = 0; t < 3; ++t)
            defineModDest(DestEnvTimeFirst + 3 * i + t, env[EnvTimeOrder[i]].getModVectorAdr(t), Add, NoteStart);
}

void VelaTone_c::setControlBuffers(float* const* buffers, int count)
{
    if (!buffers)
        return;
    for (int k = 0; k < count && k < ControlBufferCount; ++k)
        control[k] = buffers[k];
    controlBound = std::all_of(std::begin(control), std::end(control), [](const float* b) { return b != nullptr; });
}

void VelaTone_c::create(Vela_c* p, VelaGlo_c* g, unsigned int** syncRows, int voice)
{
    if (!p)
        return;
    Tone_c::create(p, g, voice, blockSaved, block, static_cast<int>(sizeof(block)),
                   static_cast<int>(ModulatedRowAmounts * sizeof(float)));
    plugin = p;
    global = g;
    // Every voice draws its own drift, and the same voice the same drift
    // after the same seed: never the process's random().
    setDriftSeed(0x9E3779B9u * static_cast<uint32_t>(voice + 1));

    for (int k = 0; k < 4; ++k) {
        float* level = control[slotBuffer(k, sbAmp)];
        float* pitch = control[slotBuffer(k, sbPitch)];
        float* aux = control[slotBuffer(k, sbAux)];
        osc[k].create(p, level, pitch, aux, syncRows);
        timeSampler[k].create(p->getUserSample(k), level, pitch, aux);
        wavetable[k].createSamWT(p->getWaveTable(k), level, pitch, aux, OneBuffer);
        if (k < 2)
            loopSampler[k].create(p->getMultiSample(k), level, pitch, aux, control[cbLoopEnd1 + k]);
    }
    for (int q = 0; q < 2; ++q) {
        float* cutoff = control[pathBuffer(q, pbCutoff)];
        float* resonance = control[pathBuffer(q, pbResonance)];
        float* level = control[pathBuffer(q, pbLevel)];
        float* pan = control[pathBuffer(q, pbPan)];
        ladder[q].create(cutoff, resonance, level, pan);
        morph[q].create(cutoff, resonance, level, pan, control[pathBuffer(q, pbAux)]);
    }
    for (int q = 0; q < 2; ++q)
        amp[q].create(control[pathBuffer(q, pbLevel)], control[pathBuffer(q, pbPan)]);
    for (int k = 0; k < 4; ++k)
        balance[k].create(control[cbBalance1 + k]);
}

Modulator_c* VelaTone_c::modulator(int entry)
{
    if (entry >= meEnvelope1 && entry < meEnvelope1 + EnvelopeCount)
        return &env[entry - meEnvelope1];
    if (entry == meGlide)
        return &glide;
    if (entry >= meLFO1 && entry < ModEntryCount)
        return &lfo[entry - meLFO1];
    return nullptr;
}

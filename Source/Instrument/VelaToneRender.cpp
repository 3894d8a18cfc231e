// The voice at work: the note start, the block setup, the control loop and
// the audio path. See VelaTone.h and docs/voice-assembly.md.
#include "VelaTone.h"

#include "BlockMath.h"
#include "Instrument.h"
#include "InstrumentWithSeq.h"
#include "LadderLanes.h"
#include "Vela.h"
#include "VelaGlo.h"
#include "XorShift.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <emmintrin.h>

namespace {

using G = VelaGlo_c;

// Generator types of "Gen n Type": 3 (the loop sampler) only in slots 1, 2.
enum GenType_t : int { gtOscillator = 0, gtTimeSampler = 1, gtWavetable = 2, gtLoopSampler = 3 };
// The spread parameter of each generator type: above 0 means unison.
constexpr int OscSpreadPara = OscAnalog4_c::opSpread;
constexpr int TimeSamplerSpreadPara = 9;
constexpr int WavetableSpreadPara = 8;
// Parameter "Pan" of a slot's balance panner, -100..100.
constexpr int BalancePanPara = 2;
// A slot in unison plays five copies at full level: its level drops to this.
constexpr float UnisonLevel = 0.45f;
// Cutoff rest values follow the filter's own every tenth control step.
constexpr int CutoffSmoothSteps = 10;
constexpr float CutoffSmoothKeep = 0.98f;

// "Gen Routing" Mix, AM, FM as the generators' cross-modulation codes.
int xModCode(int routing)
{
    switch (routing) {
    case 1:
        return Generator_c::rmCrossAM;
    case 2:
        return Generator_c::rmCrossFM;
    default:
        return Generator_c::rmPlain;
    }
}

} // namespace

static_assert(VelaTone_c::ControlBufferCount <= 32 && VelaTone_c::BlockFloats <= 64, "one bit each");
static_assert(G::ModRowsUsed <= NumModRows, "the kept row amounts fit");

namespace {

// Values v[b] into `Values` places of each buffer b of `held` (one bit
// each), from place first on.
template <int Values>
inline void fillHeld(float* const* control, const float* v, uint32_t held, int first)
{
    static_assert(Values % 4 == 0, "whole vectors");
    for (uint32_t m = held; m != 0; m &= m - 1) {
        const int b = __builtin_ctz(m);
        float* d = control[b] + first;
        const __m128 x = _mm_set1_ps(v[b]);
#pragma GCC unroll 8
        for (int j = 0; j < Values; j += 4)
            _mm_storeu_ps(d + j, x);
    }
}

// Control buffers by kind, one bit each: the slots' pitches, the paths'
// levels and cutoffs.
constexpr uint32_t bufferBit(int b)
{
    return 1u << b;
}
constexpr uint32_t PitchBuffers =
    bufferBit(VelaTone_c::slotBuffer(0, VelaTone_c::sbPitch)) | bufferBit(VelaTone_c::slotBuffer(1, VelaTone_c::sbPitch)) |
    bufferBit(VelaTone_c::slotBuffer(2, VelaTone_c::sbPitch)) | bufferBit(VelaTone_c::slotBuffer(3, VelaTone_c::sbPitch));
constexpr uint32_t LevelBuffers =
    bufferBit(VelaTone_c::pathBuffer(0, VelaTone_c::pbLevel)) | bufferBit(VelaTone_c::pathBuffer(1, VelaTone_c::pbLevel));
constexpr uint32_t Cutoffs =
    bufferBit(VelaTone_c::pathBuffer(0, VelaTone_c::pbCutoff)) | bufferBit(VelaTone_c::pathBuffer(1, VelaTone_c::pbCutoff));

} // namespace

// --- Global parameters of the voice's instrument set ---------------------------

const Parameter_c* VelaTone_c::takeGlobals()
{
    globals = global ? global->getRenderParaPtr(std::max(instrumentIndex, 0)) : nullptr;
    return globals;
}

int VelaTone_c::paraValue(const Part_c& module, int i) const
{
    // getParaVal without its detours: i is one of the module's own
    // parameter numbers.
    const Parameter_c* p = module.getRenderParaPtr(instrumentIndex);
    return p ? p[i].value.load() : 0;
}

// --- Note start ---------------------------------------------------------------

float VelaTone_c::nextRandom()
{
    // A per-voice generator; the top 24 bits give r in [0, 1).
    return static_cast<float>(xorshift32(driftState) >> 8) * (1.0f / 16777216.0f);
}

void VelaTone_c::drawDrift(float exactness)
{
    // An analog voice is never quite in tune: at 85 % exactness the pitch
    // wanders up to 0.02 x 0.23 (about a quarter of a semitone) and the
    // levels up to 46 %; at 100 % nothing at all.
    const float e = std::clamp(1.0f - exactness, 0.0f, 1.0f);
    const float d = std::pow(e, 1.5f) * 4.0f;
    drift = Drift_t{};
    if (d <= 0.0f)
        return;
    for (float& v : drift.slotPitch)
        v = nextRandom() * 0.02f * d;
    for (float& v : drift.slotAux)
        v = nextRandom() * 1.2f * d;
    for (float& v : drift.slotBalance)
        v = nextRandom() * 1.4f * d;
    drift.filterAux = nextRandom() * 0.5f * d;
    for (float& v : drift.slotGain)
        v = 1.0f - 2.0f * d * nextRandom();
    for (float& v : drift.cutoff)
        v = nextRandom() * 0.5f * d;
    for (float& v : drift.resonance)
        v = nextRandom() * 0.7f * d;
    drift.filterPan = nextRandom() * d;
    for (float& v : drift.lfoSpeed)
        v = nextRandom() * 0.5f * d;
}

void VelaTone_c::selectModules()
{
    const int types[4] = {gloVal(G::gpGenType0), gloVal(G::gpGenType0 + 1), gloVal(G::gpGenType2),
                          gloVal(G::gpGenType2 + 1)};
    for (int k = 0; k < 4; ++k) {
        switch (types[k]) {
        case gtOscillator:
            selectedGen[k] = &osc[k];
            break;
        case gtTimeSampler:
            selectedGen[k] = &timeSampler[k];
            break;
        case gtWavetable:
            selectedGen[k] = &wavetable[k];
            break;
        case gtLoopSampler:
            if (k < 2)
                selectedGen[k] = &loopSampler[k];
            break;
        default:
            break; // an unknown type keeps the slot's previous generator
        }
    }
    for (int q = 0; q < 2; ++q) {
        const int kind = gloVal(G::gpVarType0 + q);
        if (kind == 0)
            selectedFilter[q] = &ladder[q];
        else if (kind == 1)
            selectedFilter[q] = &morph[q];
    }
    readSwitches = NoSwitches;
    for (Generator_c* g : selectedGen)
        g->setActive();
    for (VariatorTone_c* f : selectedFilter)
        f->setActive();
}

void VelaTone_c::prepProc(int ins, NoteC_c n, bool first, bool second)
{
    // The note's drift, velocity and modules enter the block setup.
    setupKnown = false;
    if (!plugin)
        return;
    Instrument_c* inst = plugin->getInstPtr(ins);
    if (!inst)
        return;

    // Glide from the channel's last note; legato when another key of the
    // channel was still down (the voice table clears the first-note flag).
    const int channel = std::clamp(n.channel, 0, NumMidiChannels - 1);
    const int last = inst->getLastTriggered(channel);
    if (last >= 0)
        glide.preprepProc(ins, last, !inst->getFirstNoteFlag(channel));
    inst->setLastTriggered(channel, n.note);

    // The playing instrument's controllers as sources 4..12 and 25.
    defineModSource(msPitchWheel, &inst->pitchBend, true, false);
    defineModSource(msModWheel, &inst->modWheel, true, true);
    defineModSource(msBreath, &inst->breath, true, true);
    defineModSource(msFoot, &inst->foot, true, true);
    defineModSource(msExpression, &inst->expression, true, true);
    for (int k = 0; k < 4; ++k)
        defineModSource(msCC16 + k, &inst->general[k], true, false);
    auto* seq = dynamic_cast<InstrumentWithSeq_c*>(inst);
    const float* arp = seq ? seq->getSlotFloatPtr(0) : nullptr;
    defineModSource(msArpeggiator, const_cast<float*>(arp ? arp : &noArpeggiator), false, true);

    Tone_c::prepProc(ins, n, first, second);
    takeGlobals();

    if (!gloOn(G::gpMidiWheel)) {
        pitchBendUp = 0.0f;
        pitchBendDown = 0.0f;
    }
    for (int k = 0; k < 4; ++k)
        if (gloOn(G::gpLFOPerm0 + k))
            lfo[k].setSyncPhase(inst->getSyncPhase(k));

    precalcModulation(G::gpModSource, G::gpModAmount, G::gpModDest, DestRowAmountFirst, G::ModRowsUsed,
                      ModulatedRowAmounts);
    takePostRows();
    selectModules();
    drawDrift(glo(G::gpExactness));

    for (int q = 0; q < 2; ++q)
        cutoffDefault[q] = selectedFilter[q]->getModSampleDefault(0);
    envInverse[0] = gloOn(G::gpEnvInv0);
    envInverse[1] = gloOn(G::gpEnvInv1);
    envDepth[0] = glo(G::gpEnvDepth0);
    envDepth[1] = glo(G::gpEnvDepth1);

    block[bkStartOffset1] = 0.0f;
    block[bkStartOffset1 + 1] = 0.0f;
    modulateOTO();

    // The time rows have just moved the envelopes' inputs: start them again
    // so the attack already feels them. A legato note keeps them running.
    if (!second)
        for (int e : {evAmp, evFilter1, evFilter2, evMod1, evMod2})
            env[e].gotoPhase(EnvADSFR_c::phAttack);

    loopSampler[0].adjustSampleStart(block[bkStartOffset1]);
    loopSampler[1].adjustSampleStart(block[bkStartOffset1 + 1]);
}

void VelaTone_c::takePostRows()
{
    // The rows that move a block float at every step change only with the
    // lists, that is at note start.
    postRows = false;
    uint64_t moved = 0;
    for (int k : {mlPostAdditive, mlPostMultiplicative, mlPostScaled}) {
        const ModRowList_t& l = getModList(k);
        postRows = postRows || l.count > 0;
        for (int r = 0; r < l.count; ++r)
            if (l.dest[r] >= block && l.dest[r] < block + BlockFloats)
                moved |= uint64_t{1} << (l.dest[r] - block);
    }
    // The buffers whose block floats no per-step row writes. The cutoffs
    // always step.
    const auto still = [moved](int f) { return ((moved >> f) & 1u) == 0; };
    uint32_t mask = 0;
    const auto set = [&mask](int b, bool on) { mask |= static_cast<uint32_t>(on) << b; };
    for (int k = 0; k < 4; ++k) {
        set(slotBuffer(k, sbAmp), still(bkSlotAmp1 + k));
        set(slotBuffer(k, sbPitch), still(bkMainPitch) && still(bkSlotPitch1 + k));
        set(slotBuffer(k, sbAux), still(bkSlotAux1 + k));
        set(cbBalance1 + k, still(bkSlotBalance1 + k));
    }
    for (int q = 0; q < 2; ++q) {
        set(cbLoopEnd1 + q, still(bkLoopEnd1 + q));
        set(pathBuffer(q, pbResonance), still(bkResonance1 + q));
        set(pathBuffer(q, pbPan), still(bkPathPan1 + q));
        set(pathBuffer(q, pbAux), still(bkPathAux1 + q));
        set(pathBuffer(q, pbLevel), still(bkMainLevel) && still(bkPathLevel1 + q));
    }
    rowStill = mask;
}

void VelaTone_c::modulateOTO()
{
    for (int r = 0; r < G::ModRowsUsed; ++r)
        rowAmounts[r] = glo(G::gpModAmount + r);
    applyMultiplicative(getModList(mlNoteStartMultiplicative));
    applyAdditive(getModList(mlNoteStartAdditive));
}

// --- One block ------------------------------------------------------------------
//
// The fixed short loops that run once per block (over the four slots, the
// two paths, the rows) are unrolled: with small host blocks their counting,
// and the tests that fold away once the index is a constant, cost as much as
// their bodies.

bool VelaTone_c::render(int n)
{
    if (n < 1)
        return false;
    n = std::min(n, MaxBlockSize);
    takeGlobals();
    xModA = xModCode(gloVal(G::gpGen0Routing));
    xModB = xModCode(gloVal(G::gpGen2Routing));
    selectedGen[0]->setXModSourceMode(xModA);
    selectedGen[1]->setRenderMode(xModA);
    selectedGen[2]->setXModSourceMode(xModB);
    selectedGen[3]->setRenderMode(xModB);
    Switches_t sw;
    takeSwitches(sw);
    // The generators, balance panners and saturators of the block render
    // under flags raised here with one barrier, not one exchange each.
    RenderingFlags flags;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        if (sw.slotOn[k]) {
            flags.add(*selectedGen[k]);
            flags.add(balance[k]);
        }
    }
    for (int q = 0; q < 2; ++q)
        if (sw.pathOn[q])
            flags.add(saturator[q]);
    flags.publish();
    if (instrument && global && controlReady())
        controlLoop(n, sw);
    return renderAudio(n, sw);
}

void VelaTone_c::takeSwitches(Switches_t& sw) const
{
    // Without a global set everything is off; with one, six plain loads.
    const Parameter_c* const gp = globals;
    if (!gp) {
        sw = Switches_t{};
        return;
    }
    sw.slotOn[0] = gp[G::gpGenOn0].value.load() != 0;
    sw.slotOn[1] = gp[G::gpGenOn0 + 1].value.load() != 0;
    sw.slotOn[2] = gp[G::gpGenOn2].value.load() != 0;
    sw.slotOn[3] = gp[G::gpGenOn2 + 1].value.load() != 0;
    sw.pathOn[0] = gp[G::gpVarOn0].value.load() != 0;
    sw.pathOn[1] = gp[G::gpVarOn0 + 1].value.load() != 0;
}

uint32_t VelaTone_c::readBuffers(const Switches_t& sw) const
{
    // What each module takes at create: a generator its slot's level, pitch
    // and aux (a loop sampler its loop end too), a balance panner its
    // slot's balance, a path's filter its cutoff, resonance, level and pan
    // (the morphing filter its aux too), a path's amplifier (the path off)
    // its level and pan.
    uint32_t read = 0;
    for (int k = 0; k < 4; ++k) {
        if (!sw.slotOn[k])
            continue;
        for (int kind = 0; kind < SlotBufferCount; ++kind)
            read |= bufferBit(slotBuffer(k, kind));
        read |= bufferBit(cbBalance1 + k);
        if (k < 2 && selectedGen[k] == &loopSampler[k])
            read |= bufferBit(cbLoopEnd1 + k);
    }
    for (int q = 0; q < 2; ++q) {
        read |= bufferBit(pathBuffer(q, pbLevel)) | bufferBit(pathBuffer(q, pbPan));
        if (!sw.pathOn[q])
            continue;
        read |= bufferBit(pathBuffer(q, pbCutoff)) | bufferBit(pathBuffer(q, pbResonance));
        if (selectedFilter[q] == &morph[q])
            read |= bufferBit(pathBuffer(q, pbAux));
    }
    return read;
}

bool VelaTone_c::controlReady() const
{
    return controlBound;
}

void VelaTone_c::setupBlock(const Switches_t& sw, uint32_t switches)
{
    // The global set read through one pointer taken here: read through the
    // member, every parameter load would fetch and test it again.
    const Parameter_c* const gp = globals;
    // The count first, the parameters after it: a write it does not show
    // yet raises it again, and the next block works everything out anew.
    const SetupKey_t key{.paraWrites = Parameter_c::writeCount(),
                         .switches = switches,
                         .globals = gp,
                         .pan = std::bit_cast<uint32_t>(instrument->pan),
                         .volume = std::bit_cast<uint32_t>(instrument->volume),
                         .fade = std::bit_cast<uint32_t>(getFadeVolume()),
                         .tune = std::bit_cast<uint32_t>(plugin->getMasterTuneLog())};
    if (setupKnown && key == setupKey) {
        reuseSetup(switches);
    } else {
        computeSetup(sw, key);
        setupKey = key;
        setupKnown = true;
        std::copy_n(rowAmounts, G::ModRowsUsed, setupRowAmounts);
        std::copy_n(block, BlockFloats, setupBlockFloats);
    }

    // The saved copy is what per-step rows start from; without them the
    // block stays as it is.
    if (postRows)
        premodulate();
    else
        applyPreLists();
}

void VelaTone_c::reuseSetup(uint32_t switches)
{
    static_assert(G::ModRowsUsed == 10 && bkSlotAmp1 == 0 && bkSlotPitch1 == 4 && bkSlotAux1 == 8 &&
                      bkSlotBalance1 == 12 && bkCutoff1 == 16 && bkStartOffset1 == 38,
                  "the vectors below");
    const auto copy4 = [](float* to, const float* from) { _mm_storeu_ps(to, _mm_loadu_ps(from)); };
    copy4(rowAmounts, setupRowAmounts);
    copy4(rowAmounts + 4, setupRowAmounts + 4);
    rowAmounts[8] = setupRowAmounts[8];
    rowAmounts[9] = setupRowAmounts[9];
    // The slots' floats lie four kinds by four slots: a lane per slot. Only
    // the lanes of the slots that are on, as computeSetup writes only
    // those; the others stay as the rows left them.
    const __m128i bits = _mm_set_epi32(8, 4, 2, 1);
    const __m128 on = _mm_castsi128_ps(
        _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int>(switches)), bits), bits));
#pragma GCC unroll 4
    for (int f = bkSlotAmp1; f < bkCutoff1; f += 4)
        _mm_storeu_ps(block + f, _mm_or_ps(_mm_and_ps(on, _mm_loadu_ps(setupBlockFloats + f)),
                                           _mm_andnot_ps(on, _mm_loadu_ps(block + f))));
    // Floats 16..37, whole vectors and a last pair.
#pragma GCC unroll 5
    for (int f = bkCutoff1; f < bkStartOffset1 - 2; f += 4)
        copy4(block + f, setupBlockFloats + f);
    block[bkStartOffset1 - 2] = setupBlockFloats[bkStartOffset1 - 2];
    block[bkStartOffset1 - 1] = setupBlockFloats[bkStartOffset1 - 1];
    // A ladder's rest values are its parameters, for the note's set; the
    // morphing filter keeps its own in members, worked out when its
    // parameters change (after the write count moved): asked every block.
#pragma GCC unroll 2
    for (int q = 0; q < 2; ++q)
        if (selectedFilter[q] != &ladder[q])
            filterRests(q);
}

void VelaTone_c::filterRests(int q)
{
    const VariatorTone_c* f = selectedFilter[q];
    block[bkResonance1 + q] = f->getModSampleDefault(1) + drift.resonance[q];
    block[bkPathAux1 + q] = f->getModSampleDefault(2) + (q == 0 ? drift.filterAux : -drift.filterAux);
}

void VelaTone_c::computeSetup(const Switches_t& sw, const SetupKey_t& key)
{
    // The per-block inputs as the key holds them, read once: what is kept
    // belongs to exactly that key.
    const Parameter_c* const gp = key.globals;
    const auto fl = [gp](int i) { return gp ? gp[i].fl.load() : 0.0f; };
    const auto val = [gp](int i) { return gp ? gp[i].value.load() : 0; };
    const auto gain = [gp](int i) { return gp ? gp[i].gain.load() : 0.0f; };

    if (gp) {
#pragma GCC unroll 10
        for (int r = 0; r < G::ModRowsUsed; ++r)
            rowAmounts[r] = gp[G::gpModAmount + r].fl.load();
    } else {
        for (int r = 0; r < G::ModRowsUsed; ++r)
            rowAmounts[r] = 0.0f;
    }

    const bool mixA = val(G::gpGen0Routing) == 0;
    const bool mixB = val(G::gpGen2Routing) == 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        // A slot that is off renders nothing and nothing reads its
        // buffers: its block floats are left as they are.
        if (!sw.slotOn[k])
            continue;
        float a = gain(G::gpGenVol0 + k) * drift.slotGain[k];
        Generator_c* g = selectedGen[k];
        // Oscillators are hot: halved, except a modulator of a cross pair
        // (its level is the depth of the modulation).
        const bool modulatorOfCross = (k == 0 && !mixA) || (k == 2 && !mixB);
        if (g == &osc[k] && !modulatorOfCross)
            a *= 0.5f;
        int spreadPara = -1;
        if (g == &osc[k])
            spreadPara = OscSpreadPara;
        else if (g == &timeSampler[k])
            spreadPara = TimeSamplerSpreadPara;
        else if (g == &wavetable[k])
            spreadPara = WavetableSpreadPara;
        if (spreadPara >= 0 && !modulatorOfCross && paraValue(*g, spreadPara) > 0)
            a *= UnisonLevel;
        block[bkSlotAmp1 + k] = a;
        block[bkSlotPitch1 + k] = drift.slotPitch[k];
        block[bkSlotAux1 + k] = drift.slotAux[k];
        block[bkSlotBalance1 + k] =
            static_cast<float>(paraValue(balance[k], BalancePanPara)) * 0.01f + drift.slotBalance[k];
    }

    const float pan = std::bit_cast<float>(key.pan);
    block[bkPathPan1] = std::clamp(pan + drift.filterPan + fl(G::gpVar0Pan), -1.0f, 1.0f);
    block[bkPathPan1 + 1] = std::clamp(pan - drift.filterPan + fl(G::gpVar1Pan), -1.0f, 1.0f);
#pragma GCC unroll 2
    for (int q = 0; q < 2; ++q) {
        block[bkCutoff1 + q] = drift.cutoff[q];
        filterRests(q);
        block[bkEnvDepth1 + q] = 0.0f;
        block[bkPathLevel1 + q] = gain(G::gpVarVol0 + q);
    }
    block[bkMainLevel] = gain(G::gpMainVol) * std::bit_cast<float>(key.fade);
    block[bkMainPitch] = std::bit_cast<float>(key.tune);
    block[bkLFOSpeed1 + 0] = drift.lfoSpeed[0];
    block[bkLFOSpeed1 + 1] = drift.lfoSpeed[1];
    block[bkLFOSpeed1 + 2] = drift.lfoSpeed[0];
    block[bkLFOSpeed1 + 3] = drift.lfoSpeed[1];
    block[bkLoopEnd1] = block[bkLoopEnd1 + 1] = 0.0f;
    block[bkSpare1] = block[bkSpare1 + 1] = 0.0f;

    if (val(G::gpMidiVolume) != 0)
        block[bkMainLevel] *= std::bit_cast<float>(key.volume) + 1.0f;
    block[bkMainLevel] *= fl(G::gpVelVol) * velocityBipolar + 1.0f;
    block[bkCutoff1] += fl(G::gpVelF1Cut) * velocityBipolar * 0.5f;
    block[bkCutoff1 + 1] += fl(G::gpVelF2Cut) * velocityBipolar * 0.5f;
}

void VelaTone_c::controlLoop(int n, const Switches_t& sw)
{
    // What the modules read changes only with the switches and the
    // modules the note selected: worked out again only when those change.
    uint32_t switches = 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k)
        switches |= static_cast<uint32_t>(sw.slotOn[k]) << k;
#pragma GCC unroll 2
    for (int q = 0; q < 2; ++q)
        switches |= static_cast<uint32_t>(sw.pathOn[q]) << (4 + q);
    if (switches != readSwitches) {
        readCached = readBuffers(sw);
        readSwitches = switches;
    }
    const uint32_t read = readCached;
    int steps = (n + ControlStepFrames - 1) / ControlStepFrames;

    // The steps of a block that is not a multiple of 8 run ahead of the
    // audio; once they are more than a step ahead, every modulator goes one
    // step back, so the modulation keeps the audio's pace over many blocks.
    phaseRemainder += steps * ControlStepFrames - n;
    if (phaseRemainder > ControlStepFrames) {
        for (int e = 0; e < ModEntryCount; ++e) {
            modValue[e] -= modIncrement[e];
            modRemaining[e] += 1;
        }
        phaseRemainder -= ControlStepFrames;
    }

    const float wheel = instrument->pitchBend;
    bend = wheel * (wheel < 0.0f ? pitchBendDown : pitchBendUp);

    setupBlock(sw, switches);

    int writeIndex = 0;
    while (steps > 0) {
        // Run up to the next segment end. A modulator whose count is below
        // 1 (a zero-time segment, or a step back onto an ended one) must not
        // stall the loop: at least one step is taken every round.
        const int sub = std::max(std::min(steps, nearestSegmentEnd()), 1);
        stepLoop(sub, writeIndex, read);
        // The twelve counts go down together; the modulators whose segment
        // ended (count below 1) are the bits of `due`, in entry order.
        const uint32_t due = countDown(sub);
        constexpr uint32_t EnvelopesAndGlide = (1u << (meGlide + 1)) - 1;
        if ((due & EnvelopesAndGlide) != 0)
            for (int e = meEnvelope1; e <= meGlide; ++e)
                if (modRemaining[e] < 1)
                    modulator(e)->goNextPhase();
        // The LFOs have work only at a segment end or when their speed offset
        // moved; mostly neither, and the four need not be visited.
        const __m128 speedMoved =
            _mm_cmpneq_ps(_mm_loadu_ps(block + bkLFOSpeed1), _mm_loadu_ps(lfoSpeedSeen));
        if ((due >> meLFO1) != 0 || _mm_movemask_ps(speedMoved) != 0) {
            for (int k = 0; k < 4; ++k) {
                const float speed = block[bkLFOSpeed1 + k];
                if (modRemaining[meLFO1 + k] <= 0) {
                    lfo[k].speedOffset = speed;
                    lfoSpeedSeen[k] = speed;
                    lfo[k].goNextPhase();
                } else if (speed != lfoSpeedSeen[k]) {
                    // The LFO keeps its offset when it cannot take this one.
                    lfo[k].updateSpeed(speed);
                    lfoSpeedSeen[k] = lfo[k].speedOffset;
                }
            }
        }
        steps -= sub;
    }
}

void VelaTone_c::controlValues(float* v, const float* cutoff, const float* envAmount) const
{
    const float pitch = block[bkMainPitch] + modValue[meGlide] + bend;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        v[slotBuffer(k, sbAmp)] =
            k < 2 ? block[bkSlotAmp1 + k] * modValue[meEnvelope1 + evGen1 + k] : block[bkSlotAmp1 + k];
        v[slotBuffer(k, sbPitch)] = block[bkSlotPitch1 + k] + pitch;
        v[slotBuffer(k, sbAux)] = block[bkSlotAux1 + k];
        v[cbBalance1 + k] = block[bkSlotBalance1 + k];
    }
    const float level = block[bkMainLevel] * modValue[meEnvelope1 + evAmp];
#pragma GCC unroll 2
    for (int q = 0; q < 2; ++q) {
        v[cbLoopEnd1 + q] = block[bkLoopEnd1 + q];
        v[pathBuffer(q, pbCutoff)] = modValue[meEnvelope1 + evFilter1 + q] * envAmount[q] + cutoff[q];
        v[pathBuffer(q, pbResonance)] = block[bkResonance1 + q];
        v[pathBuffer(q, pbLevel)] = level * block[bkPathLevel1 + q];
        v[pathBuffer(q, pbPan)] = block[bkPathPan1 + q];
        v[pathBuffer(q, pbAux)] = block[bkPathAux1 + q];
    }
}


uint32_t VelaTone_c::stillBuffers() const
{
    // A buffer fed only by block floats that no per-step row writes, and by
    // modulators that stand still over the run (no increment), holds one
    // value over the whole run: the buffers the rows leave alone (known
    // since the note start) less those whose modulator moves now.
    const auto moving = [this](int entry) { return modIncrement[entry] != 0.0f; };
    uint32_t still = rowStill;
    if (moving(meGlide))
        still &= ~PitchBuffers;
    if (moving(meEnvelope1 + evAmp))
        still &= ~LevelBuffers;
    for (int k = 0; k < 2; ++k)
        if (moving(meEnvelope1 + evGen1 + k))
            still &= ~(1u << slotBuffer(k, sbAmp));
    return still;
}

void VelaTone_c::stepLoop(int count, int& writeIndex, uint32_t read)
{
    // A block holds at most MaxBlockSize / 8 steps; the guard only matters
    // to a caller that breaks that: steps past the buffers' end still run,
    // they store nothing.
    const int first = writeIndex;
    const int stored = std::clamp(ControlBufferValues - first, 0, count);
    writeIndex += stored;

    // The buffers that hold one value over the run are filled once, at its
    // first step; the others (always the two cutoffs) are written step by
    // step. Buffers no module of the block reads are left as they are.
    const uint32_t stillNow = stillBuffers();
    const uint32_t still = stillNow & read;
    const uint32_t stepping = ~stillNow & read & ~Cutoffs;
    // A cutoff no module reads is worked out all the same and lands here:
    // one store costs less than a test at every step.
    float unread[ControlBufferValues];
    float* cutoffOut[2];
    for (int q = 0; q < 2; ++q)
        cutoffOut[q] = (read & bufferBit(pathBuffer(q, pbCutoff))) ? control[pathBuffer(q, pbCutoff)] + first : unread;

    const float top[2] = {envInverse[0] ? 0.0f : 1.0f, envInverse[1] ? 0.0f : 1.0f};
    // The filters' own rest values, which the smoothed ones follow.
    float restTarget[2] = {};
    if (count > 0)
        for (int q = 0; q < 2; ++q)
            restTarget[q] = selectedFilter[q]->getModSampleDefault(0);
    // The smoothed rest values, kept here over the run: the buffer stores
    // in between would otherwise have them read back every step.
    float rest[2] = {cutoffDefault[0], cutoffDefault[1]};
    // The cutoffs with their rest values and the envelope amounts of the
    // current step: kept here, the block itself is left as modulate made it.
    // Without per-step rows they move only with the smoothed rest values,
    // every tenth step: computed again only then.
    const bool rows = postRows;
    bool restMoved = true;
    float cutoff[2] = {};
    float envAmount[2] = {};
    int countdown = 1;
    // One control step; true when it stores (it lies within the buffers).
    // Forced inline: as a call of its own it costs more than it does.
    const auto advance = [&](int i) __attribute__((always_inline)) {
        stepModulators();
        if (--countdown == 0) {
            for (int q = 0; q < 2; ++q)
                rest[q] = rest[q] * CutoffSmoothKeep + (1.0f - CutoffSmoothKeep) * restTarget[q];
            countdown = CutoffSmoothSteps;
            restMoved = true;
        }
        // Without per-step rows the block stays as the block setup left
        // it: only the controllers move.
        if (rows)
            modulate();
        else
            modulateNoMatrix();
        if (i >= stored)
            return false;
        if (rows || restMoved) {
            for (int q = 0; q < 2; ++q) {
                envAmount[q] = (envDepth[q] + block[bkEnvDepth1 + q]) * (top[q] - rest[q]);
                cutoff[q] = block[bkCutoff1 + q] + rest[q];
            }
            restMoved = false;
        }
        for (int q = 0; q < 2; ++q)
            cutoffOut[q][i] = modValue[meEnvelope1 + evFilter1 + q] * envAmount[q] + cutoff[q];
        return true;
    };

    float v[ControlBufferCount];
    if (count > 0 && advance(0)) {
        controlValues(v, cutoff, envAmount);
        // A dozen or more buffers of the same short length: the usual
        // lengths (whole blocks of 32, 64, 128 and 256 frames) with the
        // stores written out, the loop costs less than the stores.
        switch (stored) {
        case 4:
            fillHeld<4>(control, v, still, first);
            break;
        case 8:
            fillHeld<8>(control, v, still, first);
            break;
        case 16:
            fillHeld<16>(control, v, still, first);
            break;
        case 32:
            fillHeld<32>(control, v, still, first);
            break;
        default:
            for (uint32_t m = still; m != 0; m &= m - 1) {
                const int b = __builtin_ctz(m);
                BlockMath::fill(control[b] + first, v[b], stored);
            }
            break;
        }
        for (uint32_t m = stepping; m != 0; m &= m - 1) {
            const int b = __builtin_ctz(m);
            control[b][first] = v[b];
        }
    }
    if (stepping == 0) {
        // The usual run: past its first step only the cutoffs move.
        for (int i = 1; i < count; ++i)
            advance(i);
    } else {
        for (int i = 1; i < count; ++i) {
            if (!advance(i))
                continue;
            controlValues(v, cutoff, envAmount);
            for (uint32_t m = stepping; m != 0; m &= m - 1) {
                const int b = __builtin_ctz(m);
                control[b][first + i] = v[b];
            }
        }
    }
    cutoffDefault[0] = rest[0];
    cutoffDefault[1] = rest[1];
}

void VelaTone_c::stepModulators()
{
    // Written out: a loop of three rounds would cost as much again in
    // counting as in adding.
    static_assert(ModEntryCount == 12, "three vectors");
    _mm_storeu_ps(modValue, _mm_add_ps(_mm_loadu_ps(modValue), _mm_loadu_ps(modIncrement)));
    _mm_storeu_ps(modValue + 4, _mm_add_ps(_mm_loadu_ps(modValue + 4), _mm_loadu_ps(modIncrement + 4)));
    _mm_storeu_ps(modValue + 8, _mm_add_ps(_mm_loadu_ps(modValue + 8), _mm_loadu_ps(modIncrement + 8)));
}

namespace {

// The smaller of each pair of lanes (SSE2 has no integer minimum).
inline __m128i minLanes(__m128i a, __m128i b)
{
    const __m128i greater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(greater, b), _mm_andnot_si128(greater, a));
}

} // namespace

int VelaTone_c::nearestSegmentEnd() const
{
    static_assert(ModEntryCount == 12, "three vectors");
    const auto* r = reinterpret_cast<const __m128i*>(modRemaining);
    __m128i m = minLanes(minLanes(_mm_loadu_si128(r), _mm_loadu_si128(r + 1)), _mm_loadu_si128(r + 2));
    m = minLanes(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = minLanes(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(m);
}

uint32_t VelaTone_c::countDown(int steps)
{
    static_assert(ModEntryCount == 12, "three vectors");
    const __m128i by = _mm_set1_epi32(steps);
    const __m128i one = _mm_set1_epi32(1);
    auto* r = reinterpret_cast<__m128i*>(modRemaining);
    uint32_t ended = 0;
#pragma GCC unroll 3
    for (int j = 0; j < 3; ++j) {
        const __m128i left = _mm_sub_epi32(_mm_loadu_si128(r + j), by);
        _mm_storeu_si128(r + j, left);
        ended |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(left, one)))) << (4 * j);
    }
    return ended;
}

bool VelaTone_c::renderAudio(int n, const Switches_t& sw)
{
    // Each slot: its generator, its balance between the paths and (slots 1
    // and 2) its own 5.1 panner. A slot that is off reports nothing.
    bool anyOn = false;
    bool finished = true;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        if (!sw.slotOn[k])
            continue;
        const bool done = selectedGen[k]->render(n);
        finished = anyOn ? finished && done : done;
        anyOn = true;
        // A generator that wrote nothing (a sampler without a sample, a
        // modulator writing to its carrier) leaves the slot's bus empty,
        // and both panners of the slot would find nothing there.
        if (balance[k].inputBus && !balance[k].inputBus->hasContent())
            continue;
        balance[k].render(n);
        if (k < 2 && gloOn(G::gpPow51First + k))
            slotPan51[k].render(n);
    }
    // Each path: saturator, then its filter (and its 5.1 panner), or only the
    // amplifier when the path is off. The two paths share no bus, so both
    // saturators run first and two ladder filters render as a pair.
    const bool* pathOn = sw.pathOn;
    for (int q = 0; q < 2; ++q)
        if (pathOn[q])
            saturator[q].render(n);
    bool held = false;
    if (pathOn[0] && pathOn[1] && selectedFilter[0] == &ladder[0] && selectedFilter[1] == &ladder[1]) {
        held = renderLadders(n);
    } else {
        for (int q = 0; q < 2; ++q)
            if (pathOn[q])
                selectedFilter[q]->render(n);
    }
    if (!held)
        renderPathBack(n, pathOn);
    // With no slot on nothing can report its end: the Amp envelope decides.
    return (anyOn && finished) || env[evAmp].isFinished();
}

bool VelaTone_c::renderLadders(int n)
{
    VelaInst_c* inst = plugin ? plugin->getInstrument() : nullptr;
    LadderLanes_c* lanes = inst ? inst->ladderLanesFor(*this) : nullptr;
    if (!lanes) {
        FilterMoogSI_c::renderPair(ladder[0], ladder[1], n);
        return false;
    }
    if (!lanes->empty() && !lanes->hasRoom(ladder[0], ladder[1], n)) {
        // The voices held so far finish first; their back ends leave the
        // path buses written, so this voice's start afresh again.
        inst->runHeldVoices();
        plugin->startPathCycle(n);
    }
    const int first = lanes->getFilterCount();
    if (!FilterMoogSI_c::renderPair(ladder[0], ladder[1], n, lanes))
        return false;
    inst->addHeldVoice(*this, first, n);
    if (lanes->full())
        inst->runHeldVoices();
    return true;
}

void VelaTone_c::finishHeldLadders(LadderLanes_c& lanes, int first, int n)
{
    if (plugin && !gloOn(G::gpPow51First + 2) && !gloOn(G::gpPow51First + 3)) {
        // No 5.1 panner reads the path buses: each stash goes straight onto
        // its effect bus, as the path bus would have passed it on (with the
        // other held voices' sends, once they are all finished).
        for (int q = 0; q < 2; ++q)
            if (InBuffer2_c* to = plugin->getPathSend(q))
                lanes.queueSend(first + q, *to);
        return;
    }
    // The path's back end writes the effect buses too: the sends of the
    // voices before this one go first.
    lanes.flushSends();
    if (plugin)
        plugin->startPathCycle(n);
    lanes.mixOut(first);
    lanes.mixOut(first + 1);
    const bool pathOn[2] = {true, true};
    renderPathBack(n, pathOn);
}

void VelaTone_c::renderPathBack(int n, const bool pathOn[2])
{
    for (int q = 0; q < 2; ++q) {
        if (pathOn[q]) {
            if (gloOn(G::gpPow51First + 2 + q))
                pathPan51[q].render(n);
        } else {
            amp[q].render(n);
        }
        // The path ends on this voice's own bus (so its 5.1 panner pans this
        // voice alone); from there it joins the other voices on EffBuf0/1.
        if (plugin)
            plugin->sendPath(q, n);
    }
}

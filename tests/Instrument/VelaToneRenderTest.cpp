// The voice at work, measured on its output: pitch, level and modulation
// through the rig's buses, block sizes, drift, the end of a voice, the
// cross-modulation routing and the matrix rows.
#include "ToneTestRig.h"

#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <vector>

using tonetest::ToneRig;
using G = VelaGlo_c;
using V = VelaTone_c;

namespace {

// Hz from the rising zero crossings of x[from..] (mean removed), their times
// interpolated between samples; 0 with fewer than two crossings.
double frequency(const std::vector<float>& x, size_t from, double rate)
{
    double mean = 0.0;
    for (size_t i = from; i < x.size(); ++i)
        mean += x[i];
    mean /= static_cast<double>(x.size() - from);
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < x.size(); ++i) {
        const double a = x[i - 1] - mean;
        const double b = x[i] - mean;
        if (a < 0.0 && b >= 0.0) {
            const double t = static_cast<double>(i - 1) + a / (a - b);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

double cents(double hz, double reference)
{
    return 1200.0 * std::log2(hz / reference);
}

// RMS of successive windows of x.
std::vector<double> levelTrace(const std::vector<float>& x, size_t window)
{
    std::vector<double> out;
    for (size_t at = 0; at + window <= x.size(); at += window) {
        double s = 0.0;
        for (size_t i = at; i < at + window; ++i)
            s += static_cast<double>(x[i]) * x[i];
        out.push_back(std::sqrt(s / static_cast<double>(window)));
    }
    return out;
}

// One plain voice: slot 1's oscillator alone through open low-pass ladders,
// no drift, no velocity on the cutoff.
void plainOscillator(ToneRig& rig)
{
    rig.setGlobal(G::gpGenOn0 + 1, 0);
    rig.setGlobal(G::gpExactness, 100);
    rig.setGlobal(G::gpVelF1Cut, 0);
    rig.setGlobal(G::gpVelF2Cut, 0);
    for (int q = 0; q < 2; ++q)
        rig.setModule(V::chLadder1 + q, FilterMoogSI_c::pType, FilterMoogSI_c::rLP24);
}

} // namespace

TEST(VelaToneRender, HeldA4IsAt440HzAtEveryRate)
{
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        ToneRig rig(rate);
        plainOscillator(rig);
        rig.noteOn(69, 100);
        const int frames = static_cast<int>(rate);
        EXPECT_EQ(rig.run(frames, 256), -1) << "a held note plays on";

        ASSERT_TRUE(SignalMeasure::allFinite(rig.left));
        EXPECT_GT(SignalMeasure::rms(rig.left, 4096), 0.01);
        EXPECT_NEAR(cents(frequency(rig.left, 4096, rate), 440.0), 0.0, 1.0) << rate << " Hz";
    }
}

TEST(VelaToneRender, BlockSizesAgree)
{
    // An LFO on the main level makes the modulation's timing audible.
    auto play = [](int block) {
        auto rig = std::make_unique<ToneRig>();
        plainOscillator(*rig);
        rig->setModule(V::chLFO1, AdvLFO_c::pSync, 0);
        rig->setModule(V::chLFO1, AdvLFO_c::pFrequency, 700); // 7 Hz
        rig->setRow(0, msLFO1, 0.8f, 30);
        rig->noteOn(57, 127);
        rig->run(16384, block);
        return rig;
    };
    const auto reference = play(256);
    const std::vector<double> want = levelTrace(reference->left, 512);
    const double hz = frequency(reference->left, 2048, 44100.0);
    for (int block : {1, 7, 8, 9}) {
        const auto rig = play(block);
        const std::vector<double> got = levelTrace(rig->left, 512);
        ASSERT_EQ(got.size(), want.size());
        double worst = 0.0;
        for (size_t i = 1; i < got.size(); ++i)
            worst = std::max(worst, std::fabs(got[i] - want[i]) / want[i]);
        EXPECT_LT(worst, 0.03) << "level trace, blocks of " << block;
        EXPECT_NEAR(cents(frequency(rig->left, 2048, 44100.0), hz), 0.0, 0.5) << "blocks of " << block;
    }
}

TEST(VelaToneRender, OneSampleBlockRunsOneControlStepAndCatchesUp)
{
    ToneRig rig;
    plainOscillator(rig);
    rig.setModule(V::chEnvGen1 + int{V::evAmp}, EnvADSFR_c::pATime, 1000); // a 1 s attack
    rig.noteOn(60, 100);
    const int start = rig.tone.modRemaining[V::meEnvelope1 + V::evAmp];
    rig.render(1);
    EXPECT_EQ(rig.tone.modRemaining[V::meEnvelope1 + V::evAmp], start - 1);
    EXPECT_EQ(rig.tone.getPhaseRemainder(), 7);
    const float value = rig.tone.modValue[V::meEnvelope1 + V::evAmp];
    // The second block finds the steps 14 samples ahead: one step back, then
    // its own step.
    rig.render(1);
    EXPECT_EQ(rig.tone.getPhaseRemainder(), 6);
    EXPECT_EQ(rig.tone.modRemaining[V::meEnvelope1 + V::evAmp], start - 1);
    EXPECT_FLOAT_EQ(rig.tone.modValue[V::meEnvelope1 + V::evAmp], value);
    // After eight samples the steps may run up to a whole step ahead (a
    // remainder of 8 is kept); the ninth sample then costs no step.
    for (int i = 0; i < 6; ++i)
        rig.render(1);
    EXPECT_EQ(rig.tone.getPhaseRemainder(), 8);
    EXPECT_EQ(rig.tone.modRemaining[V::meEnvelope1 + V::evAmp], start - 2);
    rig.render(1);
    EXPECT_EQ(rig.tone.getPhaseRemainder(), 7);
    EXPECT_EQ(rig.tone.modRemaining[V::meEnvelope1 + V::evAmp], start - 2);
}

TEST(VelaToneRender, DriftFollowsExactness)
{
    struct Case
    {
        int exactness; // percent x 100
        bool drifts;
    };
    for (const Case c : {Case{10000, false}, Case{9500, true}, Case{8500, true}}) {
        ToneRig rig;
        rig.setGlobal(G::gpExactness, c.exactness / 100);
        rig.noteOn(60, 100);
        const V::Drift_t& d = rig.tone.getDrift();
        float spread = 0.0f;
        for (int k = 0; k < 4; ++k)
            spread += std::fabs(d.slotPitch[k]) + std::fabs(1.0f - d.slotGain[k]) + std::fabs(d.slotAux[k]);
        spread += std::fabs(d.cutoff[0]) + std::fabs(d.filterPan) + std::fabs(d.lfoSpeed[1]);
        if (!c.drifts) {
            EXPECT_EQ(spread, 0.0f) << "exactness " << c.exactness;
            continue;
        }
        EXPECT_GT(spread, 0.0f) << "exactness " << c.exactness;
        // At 85 % the pitch wanders by at most 0.02 x d, d = 4 x 0.15^1.5.
        const float dMax = 4.0f * std::pow(0.15f, 1.5f);
        for (int k = 0; k < 4; ++k) {
            EXPECT_GE(d.slotPitch[k], 0.0f);
            EXPECT_LT(d.slotPitch[k], 0.02f * dMax);
            EXPECT_LE(d.slotGain[k], 1.0f);
            EXPECT_GT(d.slotGain[k], 1.0f - 2.0f * dMax);
        }
    }
}

TEST(VelaToneRender, DriftIsPerVoiceAndRepeatable)
{
    auto drawn = [](uint32_t seed, int voice) {
        ToneRig rig;
        rig.tone.create(&rig.vela, rig.vela.getGlobalPart(), nullptr, voice);
        if (seed)
            rig.tone.setDriftSeed(seed);
        rig.setGlobal(G::gpExactness, 85);
        rig.noteOn(60, 100);
        return rig.tone.getDrift().slotPitch[0];
    };
    EXPECT_NE(drawn(0, 0), drawn(0, 1)) << "two voices drift apart";
    EXPECT_EQ(drawn(0, 5), drawn(0, 5)) << "a voice's drift comes from its own seeded generator";
    EXPECT_EQ(drawn(1234, 0), drawn(1234, 7));
}

TEST(VelaToneRender, FinishedFlagTable)
{
    // Slot types: the oscillator never finishes, the time sampler with no
    // sample finishes at once.
    enum Slot { off, osc, done };
    struct Case
    {
        Slot slots[4];
        bool ampDone;
        bool finished;
    };
    const Case cases[] = {
        {{off, off, off, off}, false, false}, // nothing reports: only the Amp envelope ends it
        {{off, off, off, off}, true, true},
        {{osc, off, off, off}, false, false},
        {{osc, off, off, off}, true, true},
        {{done, off, off, off}, false, true}, // slot 1 done ends the voice under a running envelope
        {{done, osc, off, off}, false, false},
        {{off, done, off, off}, false, true},
        {{done, done, off, off}, false, true},
        {{done, done, done, osc}, false, false},
        {{done, off, done, done}, false, true},
    };
    for (const Case& c : cases) {
        ToneRig rig;
        for (int k = 0; k < 4; ++k) {
            const int onPara = k < 2 ? G::gpGenOn0 + k : G::gpGenOn2 + k - 2;
            const int typePara = k < 2 ? G::gpGenType0 + k : G::gpGenType2 + k - 2;
            rig.setGlobal(onPara, c.slots[k] != off);
            rig.setGlobal(typePara, c.slots[k] == done ? 1 : 0);
        }
        rig.noteOn(60, 100);
        if (c.ampDone)
            rig.tone.env[V::evAmp].finishEnvADSFR();
        EXPECT_EQ(rig.render(64), c.finished)
            << "slots " << c.slots[0] << c.slots[1] << c.slots[2] << c.slots[3] << " amp done " << c.ampDone;
    }
}

TEST(VelaToneRender, FilledBuffersFollowTheSwitchesWithinANote)
{
    // The voice fills only the buffers of the slots and paths that play;
    // switching one on or off while the note plays must change which it
    // fills from the next block on, back and forth, patterns seen before
    // included.
    struct Step
    {
        bool slotOn[4];
        bool pathOn[2];
    };
    const Step steps[] = {
        {{true, false, false, false}, {true, true}},  {{true, true, false, false}, {true, true}},
        {{true, false, false, false}, {true, true}},  {{true, false, false, true}, {true, false}},
        {{false, false, true, true}, {false, true}},  {{true, true, false, false}, {true, true}},
        {{true, false, false, true}, {true, false}},  {{false, false, false, false}, {false, false}},
        {{true, false, false, false}, {true, true}},
    };
    constexpr float Untouched = -12345.0f;
    ToneRig rig;
    const auto setSwitches = [&rig](const Step& s) {
        for (int k = 0; k < 4; ++k)
            rig.setGlobal(k < 2 ? G::gpGenOn0 + k : G::gpGenOn2 + k - 2, s.slotOn[k]);
        for (int q = 0; q < 2; ++q)
            rig.setGlobal(G::gpVarOn0 + q, s.pathOn[q]);
    };
    setSwitches(steps[0]);
    rig.noteOn(60, 100);
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        setSwitches(s);
        for (auto& buffer : rig.control)
            std::fill(std::begin(buffer), std::end(buffer), Untouched);
        rig.render(64);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(rig.control[V::slotBuffer(k, V::sbPitch)][0] != Untouched, s.slotOn[k])
                << "block " << i << " slot " << k + 1;
        for (int q = 0; q < 2; ++q)
            EXPECT_EQ(rig.control[V::pathBuffer(q, V::pbCutoff)][0] != Untouched, s.pathOn[q])
                << "block " << i << " path " << q + 1;
    }
}

TEST(VelaToneRender, TheVoiceEndsAfterItsRelease)
{
    ToneRig rig;
    plainOscillator(rig);
    rig.setModule(V::chEnvGen1 + int{V::evAmp}, EnvADSFR_c::pRTime, 200); // 0.2 s
    rig.noteOn(60, 100);
    EXPECT_EQ(rig.run(4410, 64), -1);
    rig.noteOff(60);
    const int end = rig.run(44100, 64);
    ASSERT_GE(end, 0);
    const double seconds = end * 64 / 44100.0;
    EXPECT_NEAR(seconds, 0.2, 0.02);
    // The level falls through the release, and the voice ends quiet.
    const double before = SignalMeasure::rms(std::vector<float>(rig.left.begin() + 2000, rig.left.begin() + 4000));
    const size_t endFrame = 4410 + static_cast<size_t>(end) * 64;
    const double last = SignalMeasure::rms(std::vector<float>(rig.left.begin() + endFrame - 300, rig.left.begin() + endFrame));
    EXPECT_LT(last, before * 0.05);
}

TEST(VelaToneRender, CrossModulationRouting)
{
    struct Case
    {
        int routing; // "Gen0 Routing": Mix, AM, FM
        int code;    // the generators' cross-modulation code
        float slot1Amp; // slot 1's amplitude relative to its volume
    };
    const Case cases[] = {{0, Generator_c::rmPlain, 0.5f}, {1, Generator_c::rmCrossAM, 1.0f},
                          {2, Generator_c::rmCrossFM, 1.0f}};
    for (const Case& c : cases) {
        ToneRig rig;
        rig.setGlobal(G::gpExactness, 100);
        rig.setGlobal(G::gpGenType0 + 1, 0); // an oscillator in slot 2 too
        rig.setGlobal(G::gpGen0Routing, c.routing);
        rig.setModule(V::chOsc1, OscAnalog4_c::opSpread, 1000); // unison, which the modulator ignores
        rig.noteOn(60, 100);
        rig.run(2048, 256);
        SCOPED_TRACE(c.routing);
        EXPECT_EQ(rig.tone.getXModCode(0), c.code);
        EXPECT_EQ(rig.tone.osc[0].getXModSourceMode(), c.code);
        EXPECT_EQ(rig.tone.osc[1].getRenderMode(), c.code);
        const float volume = rig.vela.getGlobalPart()->getParaVol(0, G::gpGenVol0);
        const float expected = c.slot1Amp * volume * (c.routing == 0 ? 0.45f : 1.0f);
        EXPECT_NEAR(rig.control[V::slotBuffer(0, V::sbAmp)][0], expected, 1e-5f);
        // Only a cross pair feeds slot 2 through its modulation bus.
        EXPECT_EQ(rig.xModBuf[0].hasContent(), c.routing != 0);
        EXPECT_EQ(rig.panBuf[0].hasContent(), c.routing == 0);
    }
}

TEST(VelaToneRender, CrossModulationShapesTheCarrier)
{
    // Slot 2's oscillator carries; slot 1's modulates it through a bus that
    // rests at 1.0 and adds the modulator: a silent modulator leaves the
    // carrier as it plays alone, a loud one reshapes it.
    auto play = [](int routing, bool modulatorLoud) {
        ToneRig rig;
        plainOscillator(rig);
        rig.setGlobal(G::gpGenOn0 + 1, 1);
        rig.setGlobal(G::gpGenType0 + 1, 0);
        rig.setGlobal(G::gpGen0Routing, routing);
        rig.setGlobal(G::gpGenVol0, modulatorLoud ? 0 : -1000); // 0 dB or "-oo"
        rig.setModule(V::chOsc1, OscAnalog4_c::opSemitone, 7);
        rig.noteOn(57, 100);
        rig.run(8192, 256);
        return rig.left;
    };
    const std::vector<float> alone = play(0, false);
    const double level = SignalMeasure::rms(alone, 2048);
    ASSERT_GT(level, 0.01);
    struct Case
    {
        int routing;
        bool loud;
        bool likeAlone;
    };
    for (const Case c : {Case{1, false, true}, Case{2, false, true}, Case{1, true, false}, Case{2, true, false}}) {
        const std::vector<float> out = play(c.routing, c.loud);
        std::vector<float> diff(out.size());
        for (size_t i = 0; i < out.size(); ++i)
            diff[i] = out[i] - alone[i];
        const double change = SignalMeasure::rms(diff, 2048) / level;
        if (c.likeAlone)
            EXPECT_LT(change, 1e-3) << "routing " << c.routing << ", silent modulator";
        else
            EXPECT_GT(change, 0.2) << "routing " << c.routing << ", loud modulator";
    }
}

TEST(VelaToneRender, NoteStartRowsApplyOnce)
{
    // LFO 1, starting at its top, into the loop sampler's start (4) is taken
    // once at note start; into slot 1's aux value (2) it sweeps.
    struct Case
    {
        int dest;
        bool sweeps;
    };
    for (const Case c : {Case{4, false}, Case{2, true}}) {
        ToneRig rig;
        rig.setGlobal(G::gpExactness, 100);
        rig.setModule(V::chLFO1, AdvLFO_c::pSync, 0);
        rig.setModule(V::chLFO1, AdvLFO_c::pFrequency, 1000); // 10 Hz
        rig.setModule(V::chLFO1, AdvLFO_c::pPhase, 25);
        rig.setRow(0, msLFO1, 0.5f, c.dest);
        rig.noteOn(60, 100);
        const float atStart = 0.5f * rig.tone.modValue[V::meLFO1];
        float lo = 1e9f, hi = -1e9f, startLo = 1e9f, startHi = -1e9f;
        for (int b = 0; b < 40; ++b) {
            rig.render(256);
            for (int w = 0; w < 32; ++w) {
                lo = std::min(lo, rig.control[V::slotBuffer(0, V::sbAux)][w]);
                hi = std::max(hi, rig.control[V::slotBuffer(0, V::sbAux)][w]);
            }
            startLo = std::min(startLo, rig.tone.block[V::bkStartOffset1]);
            startHi = std::max(startHi, rig.tone.block[V::bkStartOffset1]);
        }
        SCOPED_TRACE(c.dest);
        if (c.sweeps) {
            EXPECT_GT(hi - lo, 0.9f) << "the LFO swings the aux value";
            EXPECT_EQ(startHi - startLo, 0.0f);
        } else {
            EXPECT_EQ(hi - lo, 0.0f) << "no sweep anywhere";
            EXPECT_EQ(startHi, startLo) << "the start offset stays as the note start set it";
            EXPECT_EQ(startHi, atStart) << "LFO 1's value when the note started, times the amount";
        }
    }
}

TEST(VelaToneRender, MatrixRowTable)
{
    // Rows that read back in the control buffers: a row at 38 moves the same
    // value as one at 2, and rows at 32..35 scale the amounts of rows 1..4.
    struct Row
    {
        int source;
        float amount;
        int dest;
    };
    struct Case
    {
        const char* what;
        std::vector<Row> rows;
        int buffer;
        float expected; // the buffer's first value
    };
    const int aux1 = V::slotBuffer(0, V::sbAux);
    const int aux2 = V::slotBuffer(1, V::sbAux);
    const int pitch1 = V::slotBuffer(0, V::sbPitch);
    const Case cases[] = {
        {"constant to slot 1 aux", {{msConstant, 0.3f, 2}}, aux1, 0.3f},
        {"constant to loop 1 start", {{msConstant, 0.3f, 38}}, aux1, 0.3f},
        {"both add", {{msConstant, 0.3f, 2}, {msConstant, 0.2f, 38}}, aux1, 0.5f},
        {"loop 2 start is slot 2 aux", {{msConstant, -0.4f, 40}}, aux2, -0.4f},
        {"row 1 alone", {{msConstant, 0.25f, 31}}, pitch1, 0.25f},
        {"row 5 adds to row 1's amount", {{msConstant, 0.25f, 31}, {}, {}, {}, {msConstant, 0.5f, 32}}, pitch1, 0.75f},
        {"row 5 adds to row 4's amount", {{}, {}, {}, {msConstant, 0.25f, 31}, {msConstant, -0.5f, 35}}, pitch1, -0.25f},
        {"row 5 moves row 2, which moves row 1",
         {{msConstant, 0.25f, 31}, {msConstant, 0.5f, 32}, {}, {}, {msConstant, 0.5f, 33}},
         pitch1,
         1.25f},
    };
    for (const Case& c : cases) {
        ToneRig rig;
        rig.setGlobal(G::gpExactness, 100);
        for (size_t r = 0; r < c.rows.size(); ++r)
            if (c.rows[r].amount != 0.0f)
                rig.setRow(static_cast<int>(r), c.rows[r].source, c.rows[r].amount, c.rows[r].dest);
        rig.noteOn(60, 100);
        rig.render(64);
        // Slot pitch also holds the note's main pitch (0 at 440 Hz tuning).
        EXPECT_NEAR(rig.control[c.buffer][0], c.expected, 1e-4f) << c.what;
    }
}

TEST(VelaToneRender, HeldBuffersMatchTheStepByStepPath)
{
    // A buffer whose inputs hold still over a run is filled once; a row that
    // moves one of its inputs every step makes the voice work it out step
    // by step. Rows of amount 0 move nothing, so both ways must give the same
    // buffers: through the attacks of moving envelopes, held, and released,
    // in blocks of many sizes. The voice fills only the buffers its modules
    // read, so every slot plays (slots 1 and 2 loop samplers, which read the
    // loop ends) and both paths the morphing filter (which reads the aux).
    const std::vector<int> destinations = {0,  5,  10, 14, 1,  6,  11, 15, 2,  7,  12, 16, 3,  8,  13, 17,
                                           18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 39, 41};
    const int blocks[] = {1, 7, 8, 13, 64, 256, 100, 3, 256, 200, 256, 31};
    const auto play = [&](size_t firstRow, size_t rows) {
        ToneRig rig;
        rig.setGlobal(G::gpExactness, 85);
        for (int k = 0; k < 2; ++k) {
            rig.setGlobal(G::gpGenType0 + k, Vela_c::GenLoopSampler);
            rig.setGlobal(G::gpGenOn0 + k, 1);
            rig.setGlobal(G::gpGenOn2 + k, 1);
            rig.setGlobal(G::gpVarType0 + k, 1);
        }
        for (int e : {V::evGen1, V::evGen2, V::evAmp, V::evFilter1})
            rig.setModule(V::chEnvGen1 + e, EnvADSFR_c::pATime, 30);
        for (size_t r = 0; r < rows && firstRow + r < destinations.size(); ++r)
            rig.setRow(static_cast<int>(r), msLFO1, 0.0f, destinations[firstRow + r]);
        rig.noteOn(64, 90);
        std::vector<float> trace;
        for (int round = 0; round < 3; ++round) {
            if (round == 2)
                rig.noteOff(64);
            for (int n : blocks) {
                rig.render(n);
                for (const auto& buffer : rig.control)
                    trace.insert(trace.end(), buffer, buffer + (n + ControlStepFrames - 1) / ControlStepFrames);
            }
        }
        return trace;
    };
    const std::vector<float> held = play(0, 0);
    for (size_t first = 0; first < destinations.size(); first += G::ModRowsUsed) {
        SCOPED_TRACE(testing::Message() << "rows to destinations from " << destinations[first]);
        const std::vector<float> stepped = play(first, G::ModRowsUsed);
        ASSERT_EQ(stepped.size(), held.size());
        for (size_t i = 0; i < held.size(); ++i)
            ASSERT_EQ(stepped[i], held[i]) << "value " << i;
    }
}

TEST(VelaToneRender, AudibleMatrixRows)
{
    struct Case
    {
        const char* what;
        int source;
        float amount;
        int dest;
        double ratio; // pitch ratio, or level ratio (velocity 127 over 1)
    };
    const Case cases[] = {
        // A pitch value y sounds as pitchFactor(y), close to 2^(4 y).
        {"pitch wheel up an octave on slot 1", msPitchWheel, 0.25f, 1, pitchFactor(0.25f)},
        {"pitch wheel up a fifth on the main pitch", msPitchWheel, 7.0f / 48.0f, 31, pitchFactor(7.0f / 48.0f)},
        {"velocity to main level", msVelocity, 0.5f, 30, 1.5 / 0.5},
    };
    for (const Case& c : cases) {
        auto play = [&c](int velocity, float wheel) {
            ToneRig rig;
            plainOscillator(rig);
            rig.setGlobal(G::gpMidiWheel, 0); // the wheel bends only through the row
            rig.setGlobal(G::gpVelVol, 0);
            rig.setRow(0, c.source, c.amount, c.dest);
            rig.instrument()->pitchBend = wheel;
            rig.noteOn(57, velocity);
            rig.run(22050, 256);
            return std::pair{frequency(rig.left, 4096, 44100.0), SignalMeasure::rms(rig.left, 4096)};
        };
        if (c.source == msPitchWheel) {
            const double rest = play(100, 0.0f).first;
            const double bent = play(100, 1.0f).first;
            EXPECT_NEAR(cents(bent / rest, c.ratio), 0.0, 1.0) << c.what;
        } else {
            // Velocity 1 is nearly -1 bipolar, 127 is +1.
            const double loud = play(127, 0.0f).second;
            const double soft = play(1, 0.0f).second;
            const double softFactor = 1.0 + 0.5 * (2.0 * (1.0 / 127.0) - 1.0);
            EXPECT_NEAR(loud / soft, 1.5 / softFactor, 0.05 * c.ratio) << c.what;
        }
    }
}

TEST(VelaToneRender, ZeroTimeSegmentsNeverStallTheControlLoop)
{
    // Every envelope as short as it goes, and counts left at 0 or below: the
    // loop still takes at least a step per round (a run of 0 or fewer steps
    // would stand still or even add steps), runs exactly the block's steps
    // and fills every one of them.
    ToneRig rig;
    plainOscillator(rig);
    for (int e = 0; e < V::EnvelopeCount; ++e) {
        rig.setModule(int{V::chEnvGen1} + e, EnvADSFR_c::pATime, 1);
        rig.setModule(int{V::chEnvGen1} + e, EnvADSFR_c::pDTime, 1);
        rig.setModule(int{V::chEnvGen1} + e, EnvADSFR_c::pSLevel, 0);
        rig.setModule(int{V::chEnvGen1} + e, EnvADSFR_c::pRTime, 1);
    }
    rig.noteOn(60, 100);
    for (int e = 0; e < V::ModEntryCount; ++e)
        rig.tone.modRemaining[e] = e % 2 ? 0 : -3;
    for (float& v : rig.control[V::pathBuffer(0, V::pbLevel)])
        v = -1.0f;
    const uint32_t before = rig.tone.getStepCounter();
    rig.render(256);
    EXPECT_EQ(rig.tone.getStepCounter() - before, 256u) << "exactly the block's 32 steps, no more, no fewer";
    for (int w = 0; w < 32; ++w)
        EXPECT_NE(rig.control[V::pathBuffer(0, V::pbLevel)][w], -1.0f) << "step " << w << " was written";
    // The short envelopes run out; the voice ends within a few blocks.
    EXPECT_GE(rig.run(44100, 256), 0);
    EXPECT_TRUE(SignalMeasure::allFinite(rig.left));
}

TEST(VelaToneRender, LegatoKeepsTheRunningEnvelopes)
{
    for (bool legato : {false, true}) {
        ToneRig rig;
        plainOscillator(rig);
        rig.noteOn(60, 100);
        rig.run(4410, 256); // well into the sustain
        for (int e : {V::evAmp, V::evFilter1, V::evMod1})
            ASSERT_EQ(rig.tone.env[e].stage, EnvADSFR_c::phSustain);
        rig.noteOn(64, 100, legato);
        for (int e : {V::evAmp, V::evFilter1, V::evFilter2, V::evMod1, V::evMod2})
            EXPECT_EQ(rig.tone.env[e].stage, legato ? EnvADSFR_c::phSustain : EnvADSFR_c::phAttack)
                << "envelope " << e << (legato ? ", legato" : "");
    }
}

TEST(VelaToneRender, EnvelopeTimeRowsActBeforeTheAttackStarts)
{
    // "Amp-Env Attack" (42) with +1 shortens a 1 s attack by P(-0.5)^4,
    // about four times; -1 lengthens it as much. The row is applied at note
    // start, before the envelope starts again, so the very first attack
    // already has its new length.
    struct Case
    {
        float amount;
        double factor;
    };
    for (const Case c : {Case{0.0f, 1.0}, Case{1.0f, pitchFactor(-0.5)}, Case{-1.0f, pitchFactor(0.5)}}) {
        ToneRig rig;
        rig.setModule(V::chEnvGen1 + int{V::evAmp}, EnvADSFR_c::pATime, 1000);
        rig.setModule(V::chEnvGen1 + int{V::evAmp}, EnvADSFR_c::pLogDecay, 0);
        if (c.amount != 0.0f)
            rig.setRow(0, msConstant, c.amount, 42);
        rig.noteOn(60, 127);
        const double steps = rig.tone.modRemaining[V::meEnvelope1 + V::evAmp];
        EXPECT_NEAR(steps / (44100.0 / 8.0), c.factor, 0.01 * c.factor) << "amount " << c.amount;
    }
}

TEST(VelaToneRender, GlideStartsFromTheChannelsLastNote)
{
    ToneRig rig;
    plainOscillator(rig);
    rig.setModule(V::chGlide, RampGlide_c::pGlideMode, RampGlide_c::gmOn);
    rig.noteOn(60, 100);
    EXPECT_EQ(rig.tone.modValue[V::meGlide], 0.0f) << "no note before: no glide";
    rig.run(2048, 256);
    rig.noteOn(72, 100);
    // From 60 up to 72 the glide starts a quarter (12 of 48 semitones) below.
    EXPECT_NEAR(rig.tone.modValue[V::meGlide], -0.25f, 1e-6f);
}

TEST(VelaToneRender, PitchWheelBendsByItsRangeWhenTheWheelIsOn)
{
    // "DMWh" on: the wheel bends by the instrument's range (2 semitones up
    // by default); off: not at all.
    for (bool wheelOn : {true, false}) {
        auto play = [wheelOn](float wheel) {
            ToneRig rig;
            plainOscillator(rig);
            rig.setGlobal(G::gpMidiWheel, wheelOn);
            rig.instrument()->pitchBend = wheel;
            rig.noteOn(57, 100);
            rig.run(22050, 256);
            return frequency(rig.left, 4096, 44100.0);
        };
        const double ratio = play(1.0f) / play(0.0f);
        EXPECT_NEAR(cents(ratio, wheelOn ? pitchFactor(2.0 / 48.0) : 1.0), 0.0, 1.0) << "wheel on " << wheelOn;
    }
}

TEST(VelaToneRender, EveryDestinationAtFullAmountStaysFiniteAndBounded)
{
    // Each destination driven by the constant, an LFO and the Amp envelope
    // at full amount either way, with both slots sounding into both filter
    // kinds: whatever the rows do, the voice's output stays finite and
    // within reason.
    for (int dest = 0; dest < V::DestCount; ++dest) {
        for (float amount : {1.0f, -1.0f}) {
            for (int filterKind : {0, 1}) {
                ToneRig rig;
                rig.setGlobal(G::gpGenType0 + 1, 0);
                rig.setGlobal(G::gpVarType0, filterKind);
                rig.setGlobal(G::gpVarType0 + 1, filterKind);
                rig.setModule(V::chLFO1, AdvLFO_c::pSync, 0);
                rig.setModule(V::chLFO1, AdvLFO_c::pFrequency, 3200);
                rig.setRow(0, msConstant, amount, dest);
                rig.setRow(1, msLFO1, amount, dest);
                rig.setRow(2, msAmpEnvelope, amount, dest);
                rig.noteOn(96, 127);
                rig.run(4096, 256);
                SCOPED_TRACE(testing::Message() << "destination " << dest << " amount " << amount << " filter "
                                                << filterKind);
                ASSERT_TRUE(SignalMeasure::allFinite(rig.left));
                ASSERT_TRUE(SignalMeasure::allFinite(rig.right));
                EXPECT_LT(SignalMeasure::peak(rig.left), 16.0f);
                EXPECT_LT(SignalMeasure::peak(rig.right), 16.0f);
            }
        }
    }
}

TEST(VelaToneRender, FilterEnvelopeSweepsFromTheRestValue)
{
    // With the Filter 1 envelope held at 1, path 1's cutoff lies the depth's
    // share of the way from the filter's rest value up to 1, or down to 0
    // with the envelope inverted.
    struct Case
    {
        int depth; // "EnvDepth" x 100
        bool inverted;
        float share; // of the way to the end
    };
    const Case cases[] = {{0, false, 0.0f}, {100, false, 1.0f}, {50, false, 0.5f}, {100, true, 1.0f}, {25, true, 0.25f}};
    for (const Case& c : cases) {
        ToneRig rig;
        plainOscillator(rig);
        rig.setModule(V::chLadder1, FilterMoogSI_c::pCutoff, 1000);
        rig.setGlobal(G::gpEnvDepth0, c.depth);
        rig.setGlobal(G::gpEnvInv0, c.inverted);
        rig.noteOn(60, 100);
        rig.run(4096, 256);
        const float rest = rig.tone.ladder[0].getModSampleDefault(0);
        ASSERT_NEAR(rest, 1.0f + std::log2(1000.0f / 20000.0f) / 8.0f, 1e-3f);
        const float end = c.inverted ? 0.0f : 1.0f;
        EXPECT_NEAR(rig.control[V::pathBuffer(0, V::pbCutoff)][5], rest + c.share * (end - rest), 1e-3f)
            << "depth " << c.depth << (c.inverted ? " inverted" : "");
    }
}

// A row from the mod wheel to LFO 1's speed (destination 36) speeds the
// running LFO up while the note plays, and the wheel back slows it again:
// the control loop keeps each LFO's speed offset and passes it on whenever
// the block's speed value changes. The LFO is read on slot 1's pitch
// buffer, one value per control step.
TEST(VelaToneRender, LFOSpeedFollowsItsRowWhileTheNotePlays)
{
    ToneRig rig;
    rig.setGlobal(G::gpExactness, 100);
    rig.setRow(0, msLFO1, 0.1f, 1);
    rig.setRow(1, msModWheel, 0.5f, 36);
    rig.noteOn(60, 100);
    constexpr int Block = 64;
    const int pitch1 = V::slotBuffer(0, V::sbPitch);
    // Steps per second at 44.1 kHz: the rate the control values run at.
    const double stepRate = 44100.0 / ControlStepFrames;
    const auto lfoHz = [&](float wheel) {
        rig.instrument()->modWheel = wheel;
        std::vector<float> steps;
        for (int b = 0; b < 1400; ++b) {
            rig.render(Block);
            steps.insert(steps.end(), rig.control[pitch1], rig.control[pitch1] + Block / ControlStepFrames);
        }
        return frequency(steps, steps.size() / 4, stepRate);
    };
    const double rest = lfoHz(0.0f);
    const double fast = lfoHz(1.0f);
    const double back = lfoHz(0.0f);
    ASSERT_GT(rest, 0.1);
    // An offset of 0.5 halves every segment: twice the rate.
    EXPECT_NEAR(fast / rest, 2.0, 0.1);
    EXPECT_NEAR(back / rest, 1.0, 0.05);
}

TEST(VelaToneRender, ValuesChangedWithinANoteReachTheNextBlock)
{
    // The block setup keeps what it worked out while nothing it depends on
    // moves. A value changed between two blocks of a held note, by any
    // path, must give the next block exactly the control values of a note
    // that had the new value from its start.
    struct Change
    {
        const char* what;
        std::function<void(ToneRig&)> before; // both notes, before the start
        std::function<void(ToneRig&)> change;
    };
    const auto globalPara = [](ToneRig& rig, int i) -> Parameter_c& {
        return rig.vela.getGlobalPart()->getRenderParaPtr(0)[i];
    };
    const std::vector<Change> changes = {
        {"slot level, part write", nullptr, [](ToneRig& r) { r.setGlobal(G::gpGenVol0, 150); }},
        {"path pan, normalised write",
         nullptr,
         [](ToneRig& r) { r.vela.getGlobalPart()->setPara01(0, G::gpVar0Pan, 0.8f); }},
        {"main level, clamped write", nullptr, [&](ToneRig& r) { globalPara(r, G::gpMainVol).setVal(-20); }},
        {"velocity to level, reset",
         [](ToneRig& r) { r.setGlobal(G::gpVelVol, 40); },
         [&](ToneRig& r) { globalPara(r, G::gpVelVol).reset(); }},
        {"slot 2 on, switch write", nullptr, [&](ToneRig& r) { globalPara(r, G::gpGenOn0 + 1).setSwOn(true); }},
        {"path level, value copy",
         nullptr,
         [&](ToneRig& r) {
             Parameter_c& to = globalPara(r, G::gpVarVol0 + 1);
             Parameter_c from;
             from.copyDeep(to);
             from.setVal(to.value - 30);
             to.copyDeep(from);
         }},
        {"row amount",
         [](ToneRig& r) { r.setRow(0, msLFO1, 0.5f, 30); },
         [](ToneRig& r) { r.setGlobal(G::gpModAmount, -2500); }},
        {"balance pan, module write", nullptr, [](ToneRig& r) { r.setModule(V::chBalance1, 2, 60); }},
        {"ladder resonance, module write",
         nullptr,
         [](ToneRig& r) { r.setModule(V::chLadder1 + 1, FilterMoogSI_c::pResonance, 70); }},
        {"morphing filter type",
         [](ToneRig& r) { r.setGlobal(G::gpVarType0, 1); },
         [](ToneRig& r) { r.setModule(V::chMorph1, FilterFree_c::pType, 60); }},
        {"channel pan", nullptr, [](ToneRig& r) { r.instrument()->pan = -0.25f; }},
        {"channel volume",
         [](ToneRig& r) { r.setGlobal(G::gpMidiVolume, 1); },
         [](ToneRig& r) { r.instrument()->volume = -0.5f; }},
        {"zone fade", nullptr, [](ToneRig& r) { r.tone.setFadeVolume(0.25f); }},
    };
    constexpr float Untouched = -12345.0f;
    constexpr int Block = 32;
    constexpr int BlocksBefore = 3;
    const auto lastBlock = [&](ToneRig& rig, const Change& c, bool fromStart) {
        rig.setGlobal(G::gpExactness, 85); // drift in every float it can reach
        if (c.before)
            c.before(rig);
        if (fromStart)
            c.change(rig);
        rig.tone.setDriftSeed(7);
        rig.noteOn(60, 90);
        for (int b = 0; b < BlocksBefore; ++b)
            rig.render(Block);
        if (!fromStart)
            c.change(rig);
        for (auto& buffer : rig.control)
            std::fill(std::begin(buffer), std::end(buffer), Untouched);
        rig.render(Block);
        std::vector<float> values;
        for (const auto& buffer : rig.control)
            values.insert(values.end(), std::begin(buffer), std::begin(buffer) + Block / 8);
        return values;
    };
    for (const Change& c : changes) {
        ToneRig changed;
        ToneRig fresh;
        const std::vector<float> got = lastBlock(changed, c, false);
        const std::vector<float> want = lastBlock(fresh, c, true);
        ASSERT_EQ(got.size(), want.size());
        const auto same = [](float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); };
        const auto first = std::mismatch(got.begin(), got.end(), want.begin(), same).first - got.begin();
        EXPECT_EQ(first, std::ssize(got)) << c.what << ": buffer " << first / (Block / 8) << " step "
                                          << first % (Block / 8) << " differs";
    }
}

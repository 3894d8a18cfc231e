// The voice's assembly: its children in their order, the modulators' control
// record, the matrix sources and destinations (with the two aliases), and
// what create binds.
#include "ToneTestRig.h"

#include <gtest/gtest.h>

#include <string>

using tonetest::ToneRig;

namespace {

std::string typeCode(const Part_c* p)
{
    const int c = p->getTypeCode();
    return {static_cast<char>(c >> 24), static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c)};
}

} // namespace

TEST(VelaTone, ChildrenInTheirOrder)
{
    VelaTone_c t;
    struct Row
    {
        int first;
        int count;
        const char* code;
        Part_c* member; // the first of the run
        size_t stride;  // bytes between members of the run
    };
    const Row rows[] = {
        {0, 4, "ML01", &t.lfo[0], sizeof(t.lfo[0])},
        {4, 7, "ME03", &t.env[0], sizeof(t.env[0])},
        {11, 1, "MRG0", &t.glide, 0},
        {12, 4, "GO02", &t.osc[0], sizeof(t.osc[0])},
        {16, 4, "GS02", &t.timeSampler[0], sizeof(t.timeSampler[0])},
        {20, 4, "GWT0", &t.wavetable[0], sizeof(t.wavetable[0])},
        {24, 2, "GS03", &t.loopSampler[0], sizeof(t.loopSampler[0])},
        {26, 4, "VP02", &t.balance[0], sizeof(t.balance[0])},
        {30, 2, "VD01", &t.saturator[0], sizeof(t.saturator[0])},
        {32, 2, "VF01", &t.ladder[0], sizeof(t.ladder[0])},
        {34, 2, "VFF1", &t.morph[0], sizeof(t.morph[0])},
        {36, 1, "VD01", &t.distortion, 0},
        {37, 2, "VP51", &t.slotPan51[0], sizeof(t.slotPan51[0])},
        {39, 2, "VP51", &t.pathPan51[0], sizeof(t.pathPan51[0])},
        {41, 2, "VAM1", &t.amp[0], sizeof(t.amp[0])},
    };
    EXPECT_EQ(t.getChildCount(), VelaTone_c::ChildCount);
    int expectedNext = 0;
    for (const Row& r : rows) {
        EXPECT_EQ(r.first, expectedNext) << "the runs cover every child once";
        for (int i = 0; i < r.count; ++i) {
            const auto* member = reinterpret_cast<Part_c*>(reinterpret_cast<char*>(r.member) + i * r.stride);
            EXPECT_EQ(t.getPart(r.first + i), member) << "child " << r.first + i;
            EXPECT_EQ(typeCode(t.getPart(r.first + i)), r.code) << "child " << r.first + i;
        }
        expectedNext = r.first + r.count;
    }
    EXPECT_EQ(expectedNext, VelaTone_c::ChildCount);
    // The slots' 5.1 panners take their input as it is, the paths' doubled.
    EXPECT_EQ(t.slotPan51[0].getScale(), 1.0f);
    EXPECT_EQ(t.slotPan51[1].getScale(), 1.0f);
    EXPECT_EQ(t.pathPan51[0].getScale(), 2.0f);
    EXPECT_EQ(t.pathPan51[1].getScale(), 2.0f);
}

TEST(VelaTone, ModulatorsWriteTheirEntryOfTheControlRecord)
{
    VelaTone_c t;
    // Envelopes Gen 1 .. Amp are entries 0..6, the glide 7, LFOs 1..4 8..11.
    std::vector<Modulator_c*> mods;
    for (EnvADSFR_c& e : t.env)
        mods.push_back(&e);
    mods.push_back(&t.glide);
    for (AdvLFO_c& l : t.lfo)
        mods.push_back(&l);
    ASSERT_EQ(static_cast<int>(mods.size()), VelaTone_c::ModEntryCount);
    for (int e = 0; e < VelaTone_c::ModEntryCount; ++e) {
        EXPECT_EQ(mods[e]->valuePtr, &t.modValue[e]) << "entry " << e;
        EXPECT_EQ(mods[e]->incrementPtr, &t.modIncrement[e]) << "entry " << e;
        EXPECT_EQ(mods[e]->remainingPtr, &t.modRemaining[e]) << "entry " << e;
    }
}

TEST(VelaTone, DestinationsAndTheirAliases)
{
    VelaTone_c t;
    using V = VelaTone_c;
    struct Dest
    {
        int number;
        const float* value;
        bool additive;
        bool noteStart;
    };
    std::vector<Dest> table;
    const int amp[4] = {0, 5, 10, 14};
    for (int k = 0; k < 4; ++k) {
        table.push_back({amp[k], &t.block[V::bkSlotAmp1 + k], false, false});
        table.push_back({amp[k] + 1, &t.block[V::bkSlotPitch1 + k], true, false});
        table.push_back({amp[k] + 2, &t.block[V::bkSlotAux1 + k], true, false});
        table.push_back({amp[k] + 3, &t.block[V::bkSlotBalance1 + k], true, false});
    }
    table.push_back({4, &t.block[V::bkStartOffset1], true, true});
    table.push_back({9, &t.block[V::bkStartOffset1 + 1], true, true});
    for (int q = 0; q < 2; ++q) {
        const int d = 18 + 6 * q;
        table.push_back({d, &t.block[V::bkCutoff1 + q], true, false});
        table.push_back({d + 1, &t.block[V::bkResonance1 + q], true, false});
        table.push_back({d + 2, &t.block[V::bkEnvDepth1 + q], true, false});
        table.push_back({d + 3, &t.block[V::bkPathAux1 + q], true, false});
        table.push_back({d + 4, &t.block[V::bkPathPan1 + q], true, false});
        table.push_back({d + 5, &t.block[V::bkPathLevel1 + q], false, false});
    }
    table.push_back({30, &t.block[V::bkMainLevel], false, false});
    table.push_back({31, &t.block[V::bkMainPitch], true, false});
    for (int r = 0; r < 4; ++r)
        table.push_back({32 + r, &t.rowAmounts[r], true, false});
    table.push_back({36, &t.block[V::bkLFOSpeed1], true, false});
    table.push_back({37, &t.block[V::bkLFOSpeed1 + 1], true, false});
    // Loop starts are the slots' aux values: 38 is 2, 40 is 7.
    table.push_back({38, &t.block[V::bkSlotAux1], true, false});
    table.push_back({39, &t.block[V::bkLoopEnd1], true, false});
    table.push_back({40, &t.block[V::bkSlotAux1 + 1], true, false});
    table.push_back({41, &t.block[V::bkLoopEnd1 + 1], true, false});
    const int envOrder[5] = {V::evAmp, V::evFilter1, V::evFilter2, V::evMod1, V::evMod2};
    for (int i = 0; i < 5; ++i)
        for (int k = 0; k < 3; ++k)
            table.push_back({42 + 3 * i + k, t.env[envOrder[i]].getModVectorAdr(k), true, true});

    ASSERT_EQ(static_cast<int>(table.size()), V::DestCount);
    for (const Dest& d : table) {
        const Tone_c::ModDest_t& m = t.getModDest(d.number);
        EXPECT_EQ(m.value, d.value) << "destination " << d.number;
        EXPECT_EQ(m.additive != 0, d.additive) << "destination " << d.number;
        EXPECT_EQ(m.thirdGroup != 0, d.noteStart) << "destination " << d.number;
    }
    EXPECT_EQ(t.getModDest(38).value, t.getModDest(2).value);
    EXPECT_EQ(t.getModDest(40).value, t.getModDest(7).value);
}

TEST(VelaTone, SourcesFixedAtBuildAndBoundToTheInstrumentAtNoteStart)
{
    ToneRig rig;
    VelaTone_c& t = rig.tone;
    // The fixed ones, and their pre and scaled-kind flags.
    struct Src
    {
        int number;
        const float* value;
    };
    const Src fixed[] = {
        {msNoteLog, &t.keySignedSquare}, {msNoteLin, &t.keyBipolar},  {msVelocity, &t.velocityBipolar},
        {msAftertouch, &t.aftertouchSmoothed}, {msLFO1, &t.modValue[8]}, {msLFO1 + 3, &t.modValue[11]},
        {msGenEnvelope1, &t.modValue[0]}, {msAmpEnvelope, &t.modValue[6]}, {msGlideCurve, &t.modValue[7]},
        {msAlternate, &t.alternateValue}, {msConstant, &t.constantOne},
    };
    rig.noteOn(60, 100);
    for (const Src& s : fixed)
        EXPECT_EQ(t.getModSource(s.number).value, s.value) << "source " << s.number;
    Instrument_c* inst = rig.instrument();
    const Src bound[] = {
        {msPitchWheel, &inst->pitchBend}, {msModWheel, &inst->modWheel}, {msBreath, &inst->breath},
        {msFoot, &inst->foot},            {msExpression, &inst->expression}, {msCC16, &inst->general[0]},
        {msCC19, &inst->general[3]},
    };
    for (const Src& s : bound)
        EXPECT_EQ(t.getModSource(s.number).value, s.value) << "source " << s.number;
    for (int s = 0; s < VelaTone_c::SourceCount; ++s) {
        EXPECT_EQ(t.getModSource(s).pre != 0, modSourceIsPre(s)) << "source " << s;
        EXPECT_EQ(t.getModSource(s).scaledKind != 0, modSourceIsScaledKind(s)) << "source " << s;
    }
}

TEST(VelaTone, CreateBindsModulesToBuffersAndStores)
{
    ToneRig rig;
    VelaTone_c& t = rig.tone;
    using V = VelaTone_c;
    EXPECT_EQ(t.getPlugin(), &rig.vela);
    EXPECT_EQ(t.getGlobal(), rig.vela.getGlobalPart());
    EXPECT_EQ(t.getMatrixPart(), rig.vela.getGlobalPart());
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(t.osc[k].getLevelInput(), rig.control[V::slotBuffer(k, V::sbAmp)]);
        EXPECT_EQ(t.osc[k].getPitchInput(), rig.control[V::slotBuffer(k, V::sbPitch)]);
        EXPECT_EQ(t.osc[k].getShapeInput(), rig.control[V::slotBuffer(k, V::sbAux)]);
        EXPECT_EQ(t.balance[k].getPositionArray(), rig.control[V::cbBalance1 + k]);
    }
    for (int q = 0; q < 2; ++q) {
        EXPECT_EQ(t.amp[q].getLevelArray(), rig.control[V::pathBuffer(q, V::pbLevel)]);
        EXPECT_EQ(t.amp[q].getPanArray(), rig.control[V::pathBuffer(q, V::pbPan)]);
        // With every input bound and a rate, the filters can play.
        EXPECT_TRUE(t.ladder[q].isReady()) << "path " << q;
        EXPECT_TRUE(t.morph[q].isReady()) << "path " << q;
    }
}

TEST(VelaTone, CreateWithoutPluginDoesNothing)
{
    float buffers[VelaTone_c::ControlBufferCount][VelaTone_c::ControlBufferValues] = {};
    float* pointers[VelaTone_c::ControlBufferCount];
    for (int k = 0; k < VelaTone_c::ControlBufferCount; ++k)
        pointers[k] = buffers[k];
    VelaTone_c t;
    t.setControlBuffers(pointers, VelaTone_c::ControlBufferCount);
    t.create(nullptr, nullptr, nullptr, 3);
    EXPECT_EQ(t.getPlugin(), nullptr);
    EXPECT_EQ(t.synth, nullptr);
    EXPECT_EQ(t.getMatrixPart(), nullptr);
    EXPECT_EQ(t.getVoiceIndex(), -1);
    EXPECT_EQ(t.osc[0].getLevelInput(), nullptr);
    EXPECT_EQ(t.amp[1].getLevelArray(), nullptr);
    // Such a voice has no instrument: a note start and a block do nothing
    // harmful, and a voice with nothing to play is finished.
    NoteC_c n;
    n.set(60, 100, 0);
    t.prepProc(0, n, false, false);
    EXPECT_EQ(t.note.note, -1);
    EXPECT_TRUE(t.render(64));
}

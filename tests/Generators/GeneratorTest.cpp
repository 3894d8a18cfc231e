// The generator base: the unison threshold and the copies' pitch factors,
// which copy's result ends a sampler, the choice of render by mode, and the
// note arithmetic of getFrequency and getNoteNr.
#include "OscTestRig.h"

#include "Generator.h"

#include <gtest/gtest.h>

#include <vector>

using namespace OscTest;
using Osc = OscAnalog4_c;

namespace {

// A generator that records every copy render: the mode's render, the copy
// and the pitch factor it was given; one copy can answer "finished".
class RecordingGenerator : public Generator_c
{
public:
    struct Call
    {
        char render; // 'N' plain, 'F' cross-FM, 'A' cross-AM
        int copy;
        float factor;
    };

    explicit RecordingGenerator(bool finishesFlag) : Generator_c(finishesFlag) {}

    bool renderNX(int, int copy) override { return record('N', copy); }
    bool renderXF(int, int copy) override { return record('F', copy); }
    bool renderXA(int, int copy) override { return record('A', copy); }

    std::vector<Call> calls;
    int finishingCopy = -1;

private:
    bool record(char kind, int copy)
    {
        calls.push_back({kind, copy, pitchFactor});
        return copy == finishingCopy;
    }
};

} // namespace

TEST(GeneratorUnison, AboveTheThresholdEveryCopyPlaysAtItsFactor)
{
    struct Row
    {
        float d;
        size_t copies;
    };
    // 0.001 is the last amount that plays one copy.
    const Row rows[] = {{0.0f, 1}, {0.0009f, 1}, {0.001f, 1}, {0.0011f, 5}, {10.0f, 5}, {50.0f, 5}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.d);
        RecordingGenerator g(false);
        g.unisonAmount = r.d;
        g.render(64);
        ASSERT_EQ(g.calls.size(), r.copies);
        for (size_t k = 0; k < r.copies; ++k) {
            EXPECT_EQ(g.calls[k].copy, static_cast<int>(k));
            const float expected = r.copies == 1 ? 1.0f : 1.0f + Generator_c::UnisonDetune[k] * r.d;
            EXPECT_FLOAT_EQ(g.calls[k].factor, expected) << k;
        }
        EXPECT_EQ(g.pitchFactor, 1.0f) << "back to 1 after the render";
    }
    // The factors themselves, at d = 10.
    const float atTen[NumUnisonCopies] = {1.0f, 1.011f, 0.9883f, 0.9944f, 1.006f};
    RecordingGenerator g(false);
    g.unisonAmount = 10.0f;
    g.render(8);
    for (int k = 0; k < NumUnisonCopies; ++k)
        EXPECT_FLOAT_EQ(g.calls[static_cast<size_t>(k)].factor, atTen[k]) << k;
}

TEST(GeneratorUnison, CopyOnesResultEndsAGeneratorThatFinishes)
{
    struct Row
    {
        const char* what;
        bool finishes;
        float d;
        int finishingCopy;
        bool finished;
    };
    const Row rows[] = {
        {"unison: copy 1 running out ends a sampler", true, 1.0f, 1, true},
        {"unison: slower copies running out do not", true, 1.0f, 4, false},
        {"unison: copy 0 running out does not", true, 1.0f, 0, false},
        {"one copy: its end is the end", true, 0.0f, 0, true},
        {"a generator that never finishes, unison", false, 1.0f, 1, false},
        {"a generator that never finishes, one copy", false, 0.0f, 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        RecordingGenerator g(r.finishes);
        g.unisonAmount = r.d;
        g.finishingCopy = r.finishingCopy;
        EXPECT_EQ(g.render(64), r.finished);
    }
}

TEST(GeneratorRender, TheModeChoosesTheRenderAndOtherModesRenderNothing)
{
    struct Row
    {
        int mode;
        char render; // 0: none
    };
    const Row rows[] = {{Generator_c::rmPlain, 'N'}, {Generator_c::rmCrossFM, 'F'}, {Generator_c::rmCrossAM, 'A'},
                        {3, 0},   {-1, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.mode);
        for (float d : {0.0f, 1.0f}) {
            RecordingGenerator g(true);
            g.finishingCopy = 0;
            g.unisonAmount = d;
            g.setRenderMode(r.mode);
            const bool finished = g.render(64);
            if (r.render == 0) {
                EXPECT_TRUE(g.calls.empty());
                EXPECT_FALSE(finished);
            } else {
                ASSERT_FALSE(g.calls.empty());
                for (const auto& c : g.calls)
                    EXPECT_EQ(c.render, r.render);
            }
        }
    }
    // The source mode is only kept for the modulator of the pair.
    RecordingGenerator g(false);
    g.setXModSourceMode(Generator_c::rmCrossAM);
    EXPECT_EQ(g.getXModSourceMode(), Generator_c::rmCrossAM);
    EXPECT_EQ(g.getRenderMode(), Generator_c::rmPlain);
    g.render(8);
    EXPECT_EQ(g.calls.size(), 1u);
}

TEST(GeneratorRender, ASwitchedOffGeneratorRendersNothing)
{
    RecordingGenerator g(true);
    g.finishingCopy = 0;
    g.active = false;
    EXPECT_FALSE(g.render(64));
    EXPECT_TRUE(g.calls.empty());
    EXPECT_FALSE(g.rendering.load()) << "the rendering flag is down again";
}

TEST(GeneratorPitch, NoteArithmeticOfFrequencyAndNoteNumber)
{
    struct Row
    {
        const char* what;
        int key, track, octave, semitone, cent;
        int noteNr;  // getNoteNr: no cents, no limits
        float plays; // getFrequency: the fractional note looked up
    };
    const Row rows[] = {
        {"the key itself", 64, 1, 0, 0, 0, 64, 64.0f},
        {"note 120 with Octave +2 clamps to 127", 120, 1, 2, 0, 0, 144, 127.0f},
        {"Track off plays 24 plus the offsets", 100, 0, 1, -3, 0, 33, 33.0f},
        {"Track off ignores the key", 5, 0, 0, 0, 0, 24, 24.0f},
        {"cents count in hundredths of a note", 60, 1, 0, 1, -25, 61, 60.75f},
        {"below note 0 clamps", 10, 1, -2, -11, -99, -25, 0.0f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        OscRig rig;
        rig.para(Osc::opTrack, r.track);
        rig.para(Osc::opOctave, r.octave);
        rig.para(Osc::opSemitone, r.semitone);
        rig.para(Osc::opCent, r.cent);
        rig.start(60); // binds the set the arithmetic reads
        EXPECT_EQ(rig.osc.getNoteNr(r.key, Osc::opTrack, Osc::opOctave, Osc::opSemitone), r.noteNr);
        EXPECT_FLOAT_EQ(rig.osc.getFrequency(r.key, Osc::opTrack, Osc::opOctave, Osc::opSemitone, Osc::opCent),
                        rig.tuning.get(r.plays));
        // Indices of -1 leave the parameters out.
        EXPECT_EQ(rig.osc.getNoteNr(r.key, -1, -1, -1), r.key);
        EXPECT_FLOAT_EQ(rig.osc.getFrequency(r.key, -1, -1, -1, -1), rig.tuning.get(static_cast<float>(r.key)));

        // Without a tuning table every note is note 60 and 440 Hz.
        OscRig untuned(44100.0f, false);
        untuned.para(Osc::opOctave, r.octave);
        untuned.start(60);
        EXPECT_EQ(untuned.osc.getNoteNr(r.key, Osc::opTrack, Osc::opOctave, Osc::opSemitone), 60);
        EXPECT_EQ(untuned.osc.getFrequency(r.key, Osc::opTrack, Osc::opOctave, Osc::opSemitone, Osc::opCent), 440.0f);
    }
}

TEST(GeneratorPitch, ATuningTableNotBuiltYetCountsAsNone)
{
    // The engine makes its table's set when it opens; a generator asked
    // before that must not play 0 Hz.
    OscRig rig(44100.0f, false);
    NoteFreqTable_c unbuilt;
    ASSERT_FALSE(unbuilt.hasTable());
    rig.osc.tuning = &unbuilt;
    rig.start(60);
    EXPECT_EQ(rig.osc.getFrequency(72, -1, -1, -1, -1), 440.0f);
    EXPECT_EQ(rig.osc.getNoteNr(72, -1, -1, -1), 60);
}

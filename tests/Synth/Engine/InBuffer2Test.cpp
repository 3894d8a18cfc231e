#include "InBuffer2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Form = InBuffer2_c::Form_t;

// Default blocks of 256 floats as the engine gives them: silence alternating
// -1e-7 and +1e-7 (first -1e-7), zeros for exact arithmetic, and ones.
struct Blocks
{
    float silence[256];
    float zeros[256];
    float ones[256];
    Blocks()
    {
        for (int i = 0; i < 256; ++i) {
            silence[i] = (i % 2 == 0) ? -1e-7f : 1e-7f;
            zeros[i] = 0.0f;
            ones[i] = 1.0f;
        }
    }
};
Blocks& blocks()
{
    static Blocks b;
    return b;
}

// Exposes the buffers, to see what the bus holds beyond what it hands out.
class Probe : public InBuffer2_c
{
public:
    float* buf(int i) const { return buffers_[i]; }
    int count() const { return bufferCount_; }
};

// Content values, exact in binary so sums and averages compare exactly.
constexpr float M = 0.75f;                                          // mono
constexpr float L = 0.5f, R = -0.25f;                               // stereo
constexpr float S[6] = {0.5f, 0.25f, 0.125f, -0.5f, -0.25f, -0.125f}; // L R C Lfe Ls Rs
constexpr float D = 1000.0f; // marks "the default block at this frame"

// Stores the form's values into an empty bus over the cycle. False when the
// bus refuses the form.
bool putContent(InBuffer2_c& bus, Form form)
{
    const int n = bus.getCycleLength();
    if (form == InBuffer2_c::formMono) {
        float* p = nullptr;
        if (!bus.wantWriteMono(&p, false))
            return false;
        for (int i = 0; i < n; ++i)
            p[i] = M;
        bus.doneWriteMono();
    } else if (form == InBuffer2_c::formStereo) {
        float* l = nullptr;
        float* r = nullptr;
        if (!bus.wantWriteStereo(&l, &r))
            return false;
        for (int i = 0; i < n; ++i) {
            l[i] = L;
            r[i] = R;
        }
        bus.doneWriteStereo();
    } else if (form == InBuffer2_c::form51) {
        float* six[6] = {};
        if (!bus.wantWrite51(six))
            return false;
        for (int c = 0; c < 6; ++c)
            for (int i = 0; i < n; ++i)
                six[c][i] = S[c];
        bus.doneWrite51();
    }
    return true;
}

// Each pointer c holds expected[c] over n frames from frame `first` of the
// bus (D: the default block, index-aligned).
void expectChannels(float* const* ptrs, const std::vector<float>& expected, int first, int n, const float* def,
                    const std::string& what)
{
    for (size_t c = 0; c < expected.size(); ++c) {
        ASSERT_NE(ptrs[c], nullptr) << what << " channel " << c;
        for (int i = 0; i < n; ++i) {
            const float want = expected[c] == D ? def[(first + i) % 256] : expected[c];
            ASSERT_EQ(ptrs[c][i], want) << what << " channel " << c << " frame " << i;
        }
    }
}

// Every own buffer of the bus equals its default block over its whole size.
void expectAllDefault(const Probe& bus, const float* def, const std::string& what)
{
    for (int b = 0; b < bus.count(); ++b) {
        const float* p = bus.buf(b);
        ASSERT_NE(p, nullptr);
        for (int i = 0; i < bus.getSize(); ++i)
            ASSERT_EQ(p[i], def[i % 256]) << what << ": stale data in buffer " << b << " frame " << i;
    }
}

const char* formName(Form f)
{
    static const char* names[] = {"none", "mono", "stereo", "5.1"};
    return names[f];
}

} // namespace

// ---------------------------------------------------------------- creation

TEST(InBuffer2, CreateChecksItsArgumentsAndClearsToTheDefault)
{
    struct Case { int size; int channels; bool withDefault; bool ok; int buffers; };
    const Case cases[] = {
        {64, 1, true, true, 1},  {64, 2, true, true, 3},   {64, 3, true, true, 5},
        {64, 6, true, true, 8},  {0, 2, true, false, 0},   {-5, 2, true, false, 0},
        {64, 0, true, false, 0}, {64, 7, true, false, 0},  {64, 2, false, false, 0},
    };
    for (const Case& c : cases) {
        Probe bus;
        EXPECT_STREQ(bus.getName(), "unnamed");
        const bool ok = bus.create("Bus", c.size, c.channels, c.withDefault ? blocks().silence : nullptr, true, false);
        const std::string what = "size " + std::to_string(c.size) + " channels " + std::to_string(c.channels);
        EXPECT_EQ(ok, c.ok) << what;
        EXPECT_EQ(bus.isReady(), c.ok) << what;
        if (!c.ok)
            continue;
        EXPECT_STREQ(bus.getName(), "Bus");
        EXPECT_EQ(bus.getChannels(), c.channels);
        EXPECT_EQ(bus.count(), c.buffers) << what;
        EXPECT_TRUE(bus.getFlagA());
        EXPECT_FALSE(bus.getFlagB());
        EXPECT_FALSE(bus.hasContent());
        expectAllDefault(bus, blocks().silence, what);
    }
}

TEST(InBuffer2, ResizeMakesFreshClearedBuffers)
{
    Probe bus;
    EXPECT_FALSE(bus.resize(64)) << "a bus never created has nothing to resize";
    ASSERT_TRUE(bus.create("Bus", 32, 6, blocks().ones, false, true));
    bus.prepCycle(32);
    ASSERT_TRUE(putContent(bus, InBuffer2_c::form51));
    ASSERT_TRUE(bus.resize(300));
    EXPECT_EQ(bus.getSize(), 300);
    EXPECT_FALSE(bus.hasContent());
    expectAllDefault(bus, blocks().ones, "after resize");
    EXPECT_FALSE(bus.resize(0));
    EXPECT_EQ(bus.getSize(), 300);
}

// ---------------------------------------------------------------- the bus table

// Every readable form of every content on buses of 1, 2 and 6 channels: the
// view's samples, or a refusal. A form the bus does not have is refused, never
// answered with a buffer it never allocated.
TEST(InBuffer2, ReadTableChannelsContentForm)
{
    enum Req { ReadMono, ReadMonoMix, ReadStereo, Read51 };
    struct Case { int channels; Form content; Req req; bool ok; std::vector<float> values; };
    const Form none = InBuffer2_c::formNone, mono = InBuffer2_c::formMono, st = InBuffer2_c::formStereo,
               s51 = InBuffer2_c::form51;
    const float avgLR = (L + R) * 0.5f, avg51 = (S[0] + S[1]) * 0.5f;
    const Case cases[] = {
        {1, none, ReadMono, true, {D}},      {1, none, ReadMonoMix, true, {D}},
        {1, none, ReadStereo, false, {}},    {1, none, Read51, false, {}},
        {1, mono, ReadMono, true, {M}},      {1, mono, ReadMonoMix, true, {M}},
        {1, mono, ReadStereo, true, {M, M}}, {1, mono, Read51, false, {}},

        {2, none, ReadMono, true, {D}},      {2, none, ReadMonoMix, true, {D}},
        {2, none, ReadStereo, true, {D, D}}, {2, none, Read51, false, {}},
        {2, mono, ReadMono, true, {M}},      {2, mono, ReadMonoMix, true, {M}},
        {2, mono, ReadStereo, true, {M, M}}, {2, mono, Read51, false, {}},
        {2, st, ReadMono, false, {}},        {2, st, ReadMonoMix, true, {avgLR}},
        {2, st, ReadStereo, true, {L, R}},   {2, st, Read51, false, {}},

        {6, none, ReadMono, true, {D}},      {6, none, ReadMonoMix, true, {D}},
        {6, none, ReadStereo, true, {D, D}}, {6, none, Read51, true, {D, D, D, D, D, D}},
        {6, mono, ReadMono, true, {M}},      {6, mono, ReadMonoMix, true, {M}},
        {6, mono, ReadStereo, true, {M, M}}, {6, mono, Read51, true, {M, M, D, D, M, M}},
        {6, st, ReadMono, false, {}},        {6, st, ReadMonoMix, true, {avgLR}},
        {6, st, ReadStereo, true, {L, R}},   {6, st, Read51, true, {L, R, D, D, L, R}},
        {6, s51, ReadMono, false, {}},       {6, s51, ReadMonoMix, true, {avg51}},
        {6, s51, ReadStereo, false, {}},     {6, s51, Read51, true, {S[0], S[1], S[2], S[3], S[4], S[5]}},
    };
    const char* reqNames[] = {"mono", "mono mixed", "stereo", "5.1"};
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.channels) + " channels, " + formName(c.content) +
                                 " content, read " + reqNames[c.req];
        InBuffer2_c bus;
        ASSERT_TRUE(bus.create("Bus", 64, c.channels, blocks().silence, true, false));
        bus.prepCycle(40);
        ASSERT_TRUE(putContent(bus, c.content)) << what;
        ASSERT_EQ(bus.getContent(), c.content) << what;
        float* ptrs[6] = {};
        bool ok = false;
        switch (c.req) {
        case ReadMono: ok = bus.wantReadMono(&ptrs[0], false); break;
        case ReadMonoMix: ok = bus.wantReadMono(&ptrs[0], true); break;
        case ReadStereo: ok = bus.wantReadStereo(&ptrs[0], &ptrs[1]); break;
        case Read51: ok = bus.wantRead51(ptrs); break;
        }
        ASSERT_EQ(ok, c.ok) << what;
        if (ok)
            expectChannels(ptrs, c.values, 0, 40, blocks().silence, what);
    }
}

TEST(InBuffer2, WriteFormsNeedTheChannels)
{
    struct Case { int channels; Form form; bool ok; };
    const Case cases[] = {
        {1, InBuffer2_c::formMono, true},   {1, InBuffer2_c::formStereo, false}, {1, InBuffer2_c::form51, false},
        {2, InBuffer2_c::formMono, true},   {2, InBuffer2_c::formStereo, true},  {2, InBuffer2_c::form51, false},
        {5, InBuffer2_c::formStereo, true}, {5, InBuffer2_c::form51, false},     {6, InBuffer2_c::form51, true},
    };
    for (const Case& c : cases) {
        InBuffer2_c bus;
        ASSERT_TRUE(bus.create("Bus", 16, c.channels, blocks().zeros, false, false));
        bus.prepCycle(16);
        EXPECT_EQ(putContent(bus, c.form), c.ok) << c.channels << " channels, " << formName(c.form);
        EXPECT_EQ(bus.getContent(), c.ok ? c.form : InBuffer2_c::formNone);
        EXPECT_EQ(bus.getWriteState(), c.ok ? 4 : 0);
    }

    InBuffer2_c own;
    ASSERT_TRUE(own.create("Bus", 16, 2, blocks().zeros, false, false));
    float* p = nullptr;
    EXPECT_FALSE(own.wantWriteMono(&p, true)) << "only a host-fed bus gives its channel directly";
    InBuffer2_c never;
    EXPECT_FALSE(never.wantWriteMono(&p, false));
    EXPECT_FALSE(never.wantReadMono(&p, true));
}

// ---------------------------------------------------------------- widening

// A writer meeting content of another form: the resulting channels, exactly.
// Writers add their value (v, or the stereo pair) into what they are given.
TEST(InBuffer2, WideningTable)
{
    struct Case { const char* what; Form first; Form writer; std::vector<float> six; Form after; };
    const float v = 0.0625f, wl = 0.03125f, wr = -0.015625f;
    const Case cases[] = {
        // A mono writer into an empty stereo bus writes the left channel only.
        {"mono into none", InBuffer2_c::formNone, InBuffer2_c::formMono, {v, 0, 0, 0, 0, 0}, InBuffer2_c::formMono},
        // Through scratch 1, then added into both channels.
        {"mono into stereo", InBuffer2_c::formStereo, InBuffer2_c::formMono, {L + v, R + v, 0, 0, 0, 0},
         InBuffer2_c::formStereo},
        // Into all six channels.
        {"mono into 5.1", InBuffer2_c::form51, InBuffer2_c::formMono,
         {S[0] + v, S[1] + v, S[2] + v, S[3] + v, S[4] + v, S[5] + v}, InBuffer2_c::form51},
        // Right := left first.
        {"stereo into mono", InBuffer2_c::formMono, InBuffer2_c::formStereo, {M + wl, M + wr, 0, 0, 0, 0},
         InBuffer2_c::formStereo},
        // Front and surround pairs, never centre or LFE.
        {"stereo into 5.1", InBuffer2_c::form51, InBuffer2_c::formStereo,
         {S[0] + wl, S[1] + wr, S[2], S[3], S[4] + wl, S[5] + wr}, InBuffer2_c::form51},
        // Right and both surrounds := left; centre and LFE keep the default.
        {"5.1 into mono", InBuffer2_c::formMono, InBuffer2_c::form51, {M + v, M + v, v, v, M + v, M + v},
         InBuffer2_c::form51},
        // Surrounds := front pair.
        {"5.1 into stereo", InBuffer2_c::formStereo, InBuffer2_c::form51, {L + v, R + v, v, v, L + v, R + v},
         InBuffer2_c::form51},
    };
    const int n = 24;
    for (const Case& c : cases) {
        Probe bus;
        ASSERT_TRUE(bus.create("Bus", 32, 6, blocks().zeros, false, true));
        bus.prepCycle(n);
        ASSERT_TRUE(putContent(bus, c.first)) << c.what;
        if (c.writer == InBuffer2_c::formMono) {
            float* p = nullptr;
            ASSERT_TRUE(bus.wantWriteMono(&p, false)) << c.what;
            for (int i = 0; i < n; ++i)
                p[i] += v;
            bus.doneWriteMono();
        } else if (c.writer == InBuffer2_c::formStereo) {
            float* l = nullptr;
            float* r = nullptr;
            ASSERT_TRUE(bus.wantWriteStereo(&l, &r)) << c.what;
            for (int i = 0; i < n; ++i) {
                l[i] += wl;
                r[i] += wr;
            }
            bus.doneWriteStereo();
        } else {
            float* six[6] = {};
            ASSERT_TRUE(bus.wantWrite51(six)) << c.what;
            for (int ch = 0; ch < 6; ++ch)
                for (int i = 0; i < n; ++i)
                    six[ch][i] += v;
            bus.doneWrite51();
        }
        EXPECT_EQ(bus.getContent(), c.after) << c.what;
        // Read the channels straight from the buffers (host order).
        float* six[6] = {bus.buf(0), bus.buf(2), bus.buf(4), bus.buf(5), bus.buf(6), bus.buf(7)};
        expectChannels(six, c.six, 0, n, blocks().zeros, c.what);
    }
}

TEST(InBuffer2, ScratchIsRefilledBeforeReuse)
{
    InBuffer2_c bus;
    ASSERT_TRUE(bus.create("Bus", 32, 2, blocks().zeros, true, false));
    bus.prepCycle(16);
    ASSERT_TRUE(putContent(bus, InBuffer2_c::formStereo));

    // A down-mixing reader leaves the average in scratch 1; the next mono
    // writer must still start from silence there.
    float* m = nullptr;
    ASSERT_TRUE(bus.wantReadMono(&m, true));
    EXPECT_EQ(m[0], (L + R) * 0.5f);
    for (int k = 0; k < 2; ++k) {
        float* p = nullptr;
        ASSERT_TRUE(bus.wantWriteMono(&p, false));
        for (int i = 0; i < 16; ++i)
            p[i] += 0.125f;
        bus.doneWriteMono();
        // A second done of the same write adds nothing more.
        bus.doneWriteMono();
    }
    float* l = nullptr;
    float* r = nullptr;
    ASSERT_TRUE(bus.wantReadStereo(&l, &r));
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(l[i], L + 0.125f + 0.125f) << i;
        ASSERT_EQ(r[i], R + 0.125f + 0.125f) << i;
    }
}

TEST(InBuffer2, ForceMonoMixesOrDropsTheRightChannel)
{
    for (bool mix : {true, false}) {
        Probe bus;
        ASSERT_TRUE(bus.create("Bus", 32, 2, blocks().silence, true, false));
        bus.prepCycle(32);
        ASSERT_TRUE(putContent(bus, InBuffer2_c::formStereo));
        float* m = nullptr;
        ASSERT_TRUE(bus.wantReadMono(&m, true)); // scratch 1 used
        bus.forceMono(mix);
        EXPECT_TRUE(bus.isMono());
        float* left = nullptr;
        ASSERT_TRUE(bus.wantReadMono(&left, false));
        float* rest[2] = {bus.buf(1), bus.buf(2)};
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(left[i], mix ? (L + R) * 0.5f : L) << i;
        expectChannels(rest, {D, D}, 0, 32, blocks().silence, "scratch and right refilled");
    }
}

// ---------------------------------------------------------------- add and rpl

TEST(InBuffer2, AddAndReplaceTable)
{
    struct Case
    {
        const char* what;
        Form src;
        bool force;
        int dstChannels;
        bool replace;
        bool ok;
        Form after;
        std::vector<float> six; // host order; 0 where the bus has no channel
    };
    const Case cases[] = {
        {"mono", InBuffer2_c::formMono, false, 2, false, true, InBuffer2_c::formMono, {M, 0}},
        {"mono forced stereo", InBuffer2_c::formMono, true, 2, false, true, InBuffer2_c::formStereo, {M, M}},
        {"stereo", InBuffer2_c::formStereo, false, 2, false, true, InBuffer2_c::formStereo, {L, R}},
        {"stereo into a mono bus", InBuffer2_c::formStereo, false, 1, false, false, InBuffer2_c::formNone, {0}},
        {"5.1", InBuffer2_c::form51, false, 6, false, true, InBuffer2_c::form51,
         {S[0], S[1], S[2], S[3], S[4], S[5]}},
        {"5.1 forced stereo stays 5.1", InBuffer2_c::form51, true, 6, false, true, InBuffer2_c::form51,
         {S[0], S[1], S[2], S[3], S[4], S[5]}},
        {"5.1 into a stereo bus", InBuffer2_c::form51, false, 2, false, false, InBuffer2_c::formNone, {0, 0}},
        {"no content", InBuffer2_c::formNone, false, 2, false, false, InBuffer2_c::formNone, {0, 0}},
        {"replace stereo", InBuffer2_c::formStereo, false, 2, true, true, InBuffer2_c::formStereo, {L, R}},
    };
    const int n = 20;
    for (const Case& c : cases) {
        InBuffer2_c src;
        Probe dst;
        ASSERT_TRUE(src.create("Src", 32, 6, blocks().zeros, true, false));
        ASSERT_TRUE(dst.create("Dst", 32, c.dstChannels, blocks().zeros, false, true));
        src.prepCycle(n);
        dst.prepCycle(n);
        ASSERT_TRUE(putContent(src, c.src));
        // Twice: add accumulates, rpl replaces.
        for (int k = 0; k < 2; ++k) {
            const bool ok = c.replace ? dst.rpl(&src, n, c.force, nullptr) : dst.add(&src, n, c.force, nullptr);
            ASSERT_EQ(ok, c.ok) << c.what;
        }
        EXPECT_EQ(dst.getContent(), c.after) << c.what;
        const float times = c.replace ? 1.0f : 2.0f;
        std::vector<float> want;
        for (float x : c.six)
            want.push_back(x * times);
        const int map[6] = {0, 2, 4, 5, 6, 7};
        float* six[6] = {};
        for (size_t ch = 0; ch < want.size(); ++ch)
            six[ch] = dst.buf(map[ch]);
        expectChannels(six, want, 0, n, blocks().zeros, c.what);
    }
}

TEST(InBuffer2, AddWithControlRateGainAndIntoWiderContent)
{
    InBuffer2_c src;
    InBuffer2_c dst;
    ASSERT_TRUE(src.create("Src", 32, 1, blocks().zeros, true, false));
    ASSERT_TRUE(dst.create("Dst", 32, 2, blocks().zeros, false, true));
    src.prepCycle(24);
    dst.prepCycle(24);
    ASSERT_TRUE(putContent(src, InBuffer2_c::formMono));
    ASSERT_TRUE(putContent(dst, InBuffer2_c::formStereo));
    // One gain per 8 frames: 1 for frames 0..7, 0.5 for 8..15, 0 for 16..23;
    // the mono source lands in both channels of the stereo content.
    float gain[3] = {1.0f, 0.5f, 0.0f};
    ASSERT_TRUE(dst.add(&src, 24, false, gain));
    float* l = nullptr;
    float* r = nullptr;
    ASSERT_TRUE(dst.wantReadStereo(&l, &r));
    for (int i = 0; i < 24; ++i) {
        ASSERT_EQ(l[i], L + M * gain[i / 8]) << i;
        ASSERT_EQ(r[i], R + M * gain[i / 8]) << i;
    }
    // Replace with a gain scales the copy.
    ASSERT_TRUE(src.rpl(&src, 24, false, gain));
    float* m = nullptr;
    ASSERT_TRUE(src.wantReadMono(&m, false));
    EXPECT_EQ(m[0], M);
    EXPECT_EQ(m[8], M * 0.5f);
    EXPECT_EQ(m[16], 0.0f);
}

// ---------------------------------------------------------------- offsets and sizes

TEST(InBuffer2, OffsetsMoveOnlyOnFreeAndHostFedBuses)
{
    struct Case { bool a; bool b; bool moves; };
    for (const Case& c : {Case{false, false, true}, Case{true, false, false}, Case{false, true, false}}) {
        InBuffer2_c bus;
        ASSERT_TRUE(bus.create("Bus", 64, 2, blocks().zeros, c.a, c.b));
        bus.prepCycle(16);
        bus.incOffs(16);
        EXPECT_EQ(bus.getOffset(), c.moves ? 16 : 0);
        bus.resetOffs();
        EXPECT_EQ(bus.getOffset(), 0);
    }
    InBuffer2_c bus;
    ASSERT_TRUE(bus.create("Bus", 64, 2, blocks().zeros, false, false));
    bus.incOffs(-8);
    EXPECT_EQ(bus.getOffset(), 0) << "a negative step is ignored";
    bus.incOffs(1000);
    EXPECT_EQ(bus.getOffset(), 64) << "never past the size";
}

// Every operation with an offset and a frame count stays inside the bus: a
// request that would run past its size is refused and writes nothing.
TEST(InBuffer2, RequestsPastTheSizeAreRefused)
{
    Probe bus;
    ASSERT_TRUE(bus.create("Bus", 64, 2, blocks().zeros, false, false));
    bus.prepCycle(32);
    bus.incOffs(40); // 40 + 32 > 64
    float* p = nullptr;
    float* q = nullptr;
    float* six[6] = {};
    EXPECT_FALSE(bus.wantWriteMono(&p, false));
    EXPECT_FALSE(bus.wantWriteStereo(&p, &q));
    EXPECT_FALSE(bus.wantReadMono(&p, true));
    EXPECT_FALSE(bus.wantReadStereo(&p, &q));
    EXPECT_FALSE(bus.wantRead51(six));

    std::vector<float> data(64, 0.5f);
    EXPECT_FALSE(bus.loadMono(data.data(), 25)) << "40 + 25 > 64";
    EXPECT_FALSE(bus.loadStereo(data.data(), data.data(), 25));
    EXPECT_FALSE(bus.copyMono2Stereo(25));
    EXPECT_TRUE(bus.loadMono(data.data(), 24)) << "40 + 24 fits exactly";
    EXPECT_EQ(bus.buf(0)[63], 0.5f);

    // Output arrays with a canary behind the frames asked for.
    std::vector<float> outL(26, 0.0f), outR(26, 0.0f);
    EXPECT_FALSE(bus.renderOut(outL.data(), outR.data(), 25));
    EXPECT_TRUE(bus.renderOut(outL.data(), outR.data(), 24));
    EXPECT_EQ(outL[23], 0.5f);
    EXPECT_EQ(outR[23], 0.5f);
    EXPECT_EQ(outL[24], 0.0f);

    InBuffer2_c src;
    ASSERT_TRUE(src.create("Src", 64, 1, blocks().zeros, false, false));
    src.prepCycle(64);
    ASSERT_TRUE(putContent(src, InBuffer2_c::formMono));
    EXPECT_FALSE(bus.add(&src, 25, false, nullptr));
    EXPECT_FALSE(bus.rpl(&src, 25, false, nullptr));
    src.incOffs(50);
    bus.resetOffs();
    EXPECT_FALSE(bus.add(&src, 20, false, nullptr)) << "the source's own offset counts too";
    EXPECT_FALSE(bus.add(nullptr, 8, false, nullptr));
    EXPECT_FALSE(bus.add(&src, 0, false, nullptr));
}

TEST(InBuffer2, ACycleLongerThanTheBusRefusesEveryPointer)
{
    InBuffer2_c bus;
    ASSERT_TRUE(bus.create("Bus", 64, 2, blocks().zeros, true, false));
    bus.prepCycle(64);
    ASSERT_TRUE(putContent(bus, InBuffer2_c::formStereo));
    bus.prepCycle(65);
    EXPECT_FALSE(bus.hasContent()) << "the last cycle is still cleared";
    float* p = nullptr;
    float* q = nullptr;
    EXPECT_FALSE(bus.wantWriteMono(&p, false));
    EXPECT_FALSE(bus.wantWriteStereo(&p, &q));
    EXPECT_FALSE(bus.wantReadMono(&p, false));
    std::vector<float> data(64, 0.5f);
    EXPECT_FALSE(bus.loadMono(data.data(), 8));
    bus.prepCycle(-1);
    EXPECT_FALSE(bus.wantReadMono(&p, false));
    bus.prepCycle(64);
    EXPECT_TRUE(bus.wantWriteMono(&p, false)) << "the next cycle that fits works again";
}

// ---------------------------------------------------------------- cycles

// Cycles of 256, 64 and 256 frames with every write path, including the
// scratch buffers, an abandoned writer and a copied right channel: each new
// cycle starts from the default everywhere, so nothing of an earlier cycle
// leaks into a later one.
TEST(InBuffer2, CyclesOf256And64And256LeaveNoStaleData)
{
    Probe bus;
    const float* def = blocks().silence;
    ASSERT_TRUE(bus.create("EffBufX", 256, 6, blocks().silence, false, true));

    auto addMono = [&](float v) {
        float* p = nullptr;
        ASSERT_TRUE(bus.wantWriteMono(&p, false));
        for (int i = 0; i < bus.getCycleLength(); ++i)
            p[i] += v;
        bus.doneWriteMono();
    };
    auto addStereo = [&](float v) {
        float* l = nullptr;
        float* r = nullptr;
        ASSERT_TRUE(bus.wantWriteStereo(&l, &r));
        for (int i = 0; i < bus.getCycleLength(); ++i) {
            l[i] += v;
            r[i] -= v;
        }
        bus.doneWriteStereo();
    };

    // 256: 5.1 content, then stereo and mono writers through both scratches.
    bus.prepCycle(256);
    expectAllDefault(bus, def, "first cycle");
    ASSERT_TRUE(putContent(bus, InBuffer2_c::form51));
    addStereo(0.5f);
    addMono(0.25f);
    float* m = nullptr;
    ASSERT_TRUE(bus.wantReadMono(&m, true));

    // 64: everything of the 256 cycle is gone; mono writes, an abandoned
    // mono writer, and a copied right channel.
    bus.prepCycle(64);
    expectAllDefault(bus, def, "after the 256 cycle");
    addMono(0.125f);
    ASSERT_TRUE(bus.copyMono2Stereo(64));
    float* abandoned = nullptr;
    ASSERT_TRUE(bus.wantWriteMono(&abandoned, false));
    abandoned[10] = 9.0f; // never completed with doneWriteMono

    // 256 again: the short cycle's data are gone too, including the right
    // channel and the abandoned write.
    bus.prepCycle(256);
    expectAllDefault(bus, def, "after the 64 cycle");
    addStereo(0.25f);
    float* l = nullptr;
    float* r = nullptr;
    ASSERT_TRUE(bus.wantReadStereo(&l, &r));
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(l[i], def[i] + 0.25f) << i;
        ASSERT_EQ(r[i], def[i] - 0.25f) << i;
    }
    bus.prepCycle(256);
    expectAllDefault(bus, def, "after the last cycle");
}

// A voice bus that a voice leaves alone for a few cycles (its slot, path or
// panner off) is started again for every voice without being cleared; when
// a writer comes back (the switch on again), the bus must start exactly as
// a freshly cleared one: what any operation of the last used cycle left,
// the widening ones and those that change only the write state included,
// is gone, also when the cycle length changes in between.
TEST(InBuffer2, ABusLeftAloneForCyclesStartsCleanWhenUsedAgain)
{
    struct Case
    {
        const char* what;
        void (*use)(Probe& bus, InBuffer2_c& src);
    };
    const Case cases[] = {
        {"nothing", [](Probe&, InBuffer2_c&) {}},
        {"mono", [](Probe& bus, InBuffer2_c&) { putContent(bus, InBuffer2_c::formMono); }},
        {"stereo", [](Probe& bus, InBuffer2_c&) { putContent(bus, InBuffer2_c::formStereo); }},
        {"5.1", [](Probe& bus, InBuffer2_c&) { putContent(bus, InBuffer2_c::form51); }},
        {"mono into 5.1 through the scratch",
         [](Probe& bus, InBuffer2_c&) {
             putContent(bus, InBuffer2_c::form51);
             putContent(bus, InBuffer2_c::formMono);
         }},
        {"mixed mono view of stereo",
         [](Probe& bus, InBuffer2_c&) {
             putContent(bus, InBuffer2_c::formStereo);
             float* m = nullptr;
             bus.wantReadMono(&m, true);
         }},
        {"copied right channel",
         [](Probe& bus, InBuffer2_c&) {
             putContent(bus, InBuffer2_c::formMono);
             bus.copyMono2Stereo(bus.getCycleLength());
         }},
        {"abandoned writer",
         [](Probe& bus, InBuffer2_c&) {
             float* p = nullptr;
             if (bus.wantWriteMono(&p, false))
                 p[3] = 9.0f;
         }},
        {"mix of a source without content",
         [](Probe& bus, InBuffer2_c& src) {
             float* p = nullptr;
             src.wantWriteMono(&p, false); // a writer state, no content
             bus.add(&src, bus.getCycleLength(), false, nullptr);
         }},
    };
    const float* def = blocks().silence;
    for (const Case& c : cases) {
        // Cycle lengths: used, idle, idle, idle at another length, used
        // again at that length.
        for (int lastLength : {64, 32}) {
            const std::string what = std::string(c.what) + ", then " + std::to_string(lastLength) + " frames";
            Probe bus;
            InBuffer2_c src;
            ASSERT_TRUE(bus.create("PanBuf0", 256, 6, blocks().silence, true, false));
            ASSERT_TRUE(src.create("Src", 256, 1, blocks().silence, true, false));
            bus.prepCycle(64);
            src.prepCycle(64);
            c.use(bus, src);
            for (int n : {64, 64, lastLength}) {
                bus.prepCycle(n);
                EXPECT_FALSE(bus.hasContent()) << what;
                EXPECT_EQ(bus.getWriteState(), wsUntouched) << what;
                EXPECT_EQ(bus.getCycleLength(), n) << what;
                EXPECT_EQ(bus.getOffset(), 0) << what;
                expectAllDefault(bus, def, what);
            }
            // Used again: a stereo writer gets the channels over the
            // default, and the next start clears it again.
            float* l = nullptr;
            float* r = nullptr;
            ASSERT_TRUE(bus.wantWriteStereo(&l, &r)) << what;
            for (int i = 0; i < lastLength; ++i) {
                l[i] += L;
                r[i] += R;
            }
            bus.doneWriteStereo();
            EXPECT_TRUE(bus.isStereo()) << what;
            float* six[6] = {};
            ASSERT_TRUE(bus.wantRead51(six)) << what;
            for (int i = 0; i < lastLength; ++i) {
                ASSERT_EQ(six[0][i], def[i] + L) << what << " frame " << i;
                ASSERT_EQ(six[1][i], def[i] + R) << what << " frame " << i;
                ASSERT_EQ(six[2][i], def[i]) << what << " frame " << i;
            }
            bus.prepCycle(lastLength);
            EXPECT_FALSE(bus.hasContent()) << what;
            expectAllDefault(bus, def, what + ", used again");
        }
    }
}

// A mono stretch is put back from the default at the stretch's own phase,
// whether the default repeats every four floats (the engine's silence) or
// not, for stretches at every offset and of every length around the steps
// the copy takes.
TEST(InBuffer2, AMonoStretchIsPutBackAtEveryPhaseOfTheDefault)
{
    static float ramp[256];
    for (int i = 0; i < 256; ++i)
        ramp[i] = 0.001f * static_cast<float>(i) - 0.1f;
    for (const float* def : {static_cast<const float*>(blocks().silence), static_cast<const float*>(ramp)}) {
        for (int offset : {0, 1, 2, 3, 5, 13, 250}) {
            for (int len : {1, 3, 7, 8, 15, 16, 17, 33, 64}) {
                const std::string what = std::string(def == ramp ? "ramp" : "silence") + " offset " +
                                         std::to_string(offset) + " length " + std::to_string(len);
                Probe bus;
                ASSERT_TRUE(bus.create("Free", 320, 2, const_cast<float*>(def), false, false));
                bus.prepCycle(len);
                bus.incOffs(offset);
                float* p = nullptr;
                ASSERT_TRUE(bus.wantWriteMono(&p, false)) << what;
                for (int i = 0; i < len; ++i)
                    p[i] = 5.0f;
                bus.doneWriteMono();
                bus.prepCycle(len);
                expectAllDefault(bus, def, what);
            }
        }
    }
}

TEST(InBuffer2, LoadMonoIgnoresNearSilenceAndBusyBuses)
{
    InBuffer2_c bus;
    ASSERT_TRUE(bus.create("In", 32, 2, blocks().silence, false, false));
    bus.prepCycle(32);
    std::vector<float> quiet(32, 1e-5f);
    quiet[3] = -1e-5f;
    EXPECT_FALSE(bus.loadMono(quiet.data(), 32));
    EXPECT_FALSE(bus.hasContent()) << "samples within 1e-5 load nothing";
    EXPECT_FALSE(bus.loadStereo(quiet.data(), quiet.data(), 32));

    std::vector<float> audible(32, 0.0f);
    audible[31] = 2e-5f;
    EXPECT_TRUE(bus.loadMono(audible.data(), 32));
    EXPECT_TRUE(bus.isMono());
    float* p = nullptr;
    ASSERT_TRUE(bus.wantReadMono(&p, false));
    EXPECT_EQ(p[31], 2e-5f);
    EXPECT_EQ(p[0], 0.0f) << "loading copies, it does not add the default";

    float* w = nullptr;
    ASSERT_TRUE(bus.wantWriteMono(&w, false));
    EXPECT_FALSE(bus.loadMono(audible.data(), 32)) << "not while a writer is active";
    bus.doneWriteMono();
    EXPECT_TRUE(bus.loadStereo(audible.data(), audible.data(), 32));
    EXPECT_TRUE(bus.isStereo());

    InBuffer2_c mono;
    ASSERT_TRUE(mono.create("In", 32, 1, blocks().silence, false, false));
    mono.prepCycle(32);
    EXPECT_FALSE(mono.loadStereo(audible.data(), audible.data(), 32));
    EXPECT_FALSE(mono.loadMono(nullptr, 32));
    EXPECT_FALSE(mono.loadMono(audible.data(), 0));
}

TEST(InBuffer2, IsSilentUpToOneThousandth)
{
    struct Case { Form form; float peak; bool silent; };
    const Case cases[] = {
        {InBuffer2_c::formNone, 0.0f, true},     {InBuffer2_c::formMono, 0.001f, true},
        {InBuffer2_c::formMono, -0.001f, true},  {InBuffer2_c::formMono, 0.0011f, false},
        {InBuffer2_c::formStereo, -0.002f, false}, {InBuffer2_c::form51, 0.002f, false},
    };
    for (const Case& c : cases) {
        InBuffer2_c bus;
        ASSERT_TRUE(bus.create("Bus", 32, 6, blocks().silence, true, false));
        bus.prepCycle(32);
        float* six[6] = {};
        bool ok = true;
        if (c.form == InBuffer2_c::formMono)
            ok = bus.wantWriteMono(&six[0], false);
        else if (c.form == InBuffer2_c::formStereo)
            ok = bus.wantWriteStereo(&six[0], &six[1]);
        else if (c.form == InBuffer2_c::form51)
            ok = bus.wantWrite51(six);
        ASSERT_TRUE(ok);
        // The peak in the last channel written, at the last frame.
        float* last = nullptr;
        for (float* p : six)
            if (p != nullptr)
                last = p;
        if (last != nullptr)
            last[31] = c.peak;
        if (c.form == InBuffer2_c::formMono)
            bus.doneWriteMono();
        else if (c.form == InBuffer2_c::formStereo)
            bus.doneWriteStereo();
        else if (c.form == InBuffer2_c::form51)
            bus.doneWrite51();
        EXPECT_EQ(bus.isSilent(), c.silent) << formName(c.form) << " peak " << c.peak;
    }
}

TEST(InBuffer2, RenderOutAddsMonoAndStereoOnly)
{
    struct Case { Form form; bool ok; float l; float r; };
    const Case cases[] = {
        {InBuffer2_c::formMono, true, M, M},
        {InBuffer2_c::formStereo, true, L, R},
        {InBuffer2_c::form51, false, 0, 0},
        {InBuffer2_c::formNone, false, 0, 0},
    };
    for (const Case& c : cases) {
        InBuffer2_c bus;
        ASSERT_TRUE(bus.create("Bus", 32, 6, blocks().zeros, false, false));
        bus.prepCycle(32);
        ASSERT_TRUE(putContent(bus, c.form));
        bus.incOffs(16);
        std::vector<float> l(16, 1.0f), r(16, 1.0f);
        EXPECT_EQ(bus.renderOut(l.data(), r.data(), 16), c.ok) << formName(c.form);
        EXPECT_EQ(l[15], 1.0f + c.l);
        EXPECT_EQ(r[15], 1.0f + c.r);
    }
}

// ---------------------------------------------------------------- host-fed buses

class HostFedBus : public ::testing::Test
{
protected:
    static constexpr int Frames = 512;
    void SetUp() override
    {
        for (auto& channel : host)
            channel.assign(Frames, 0.0f);
        for (int c = 0; c < 6; ++c)
            pointers[c] = host[c].data();
        ASSERT_TRUE(bus.create("OutBuf", Frames, 6, blocks().silence));
    }
    std::vector<float> host[6];
    float* pointers[6] = {};
    Probe bus;
};

TEST_F(HostFedBus, NotReadyUntilEveryChannelIsBound)
{
    EXPECT_FALSE(bus.isReady());
    EXPECT_TRUE(bus.isHostFed());
    EXPECT_FALSE(bus.getFlagA());
    EXPECT_TRUE(bus.getFlagB());
    float* six[6] = {};
    EXPECT_FALSE(bus.wantWrite51(six)) << "no host buffers yet";

    pointers[3] = nullptr;
    EXPECT_FALSE(bus.setBufPtr(pointers));
    EXPECT_FALSE(bus.wantWrite51(six)) << "a missing channel is never handed out";
    EXPECT_FALSE(bus.setBufPtr(nullptr));

    pointers[3] = host[3].data();
    EXPECT_TRUE(bus.setBufPtr(pointers));
    ASSERT_TRUE(bus.wantWrite51(six));
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(six[c], host[c].data()) << "host channel " << c;
    bus.doneWrite51();

    // Scratch buffers are the bus's own, the channels are not.
    EXPECT_NE(bus.buf(1), nullptr);
    EXPECT_NE(bus.buf(3), nullptr);
    EXPECT_TRUE(bus.resize(Frames));
    EXPECT_TRUE(bus.isReady()) << "resizing keeps the binding";
    EXPECT_EQ(bus.buf(0), host[0].data());

    InBuffer2_c own;
    ASSERT_TRUE(own.create("Own", 64, 6, blocks().silence, false, true));
    EXPECT_FALSE(own.setBufPtr(pointers)) << "a bus with its own buffers keeps them";
}

// The output bus walks through the host's block piece by piece; a new piece
// (prepCycle) keeps the position, the end of the block rewinds it.
TEST_F(HostFedBus, PiecesWalkThroughTheHostBlock)
{
    ASSERT_TRUE(bus.setBufPtr(pointers));
    for (int piece = 0; piece < 2; ++piece) {
        bus.prepCycle(256);
        EXPECT_EQ(bus.getOffset(), piece * 256);
        float* six[6] = {};
        ASSERT_TRUE(bus.wantWrite51(six));
        for (int c = 0; c < 6; ++c)
            for (int i = 0; i < 256; ++i)
                six[c][i] += static_cast<float>(piece + 1);
        bus.doneWrite51();
        bus.incOffs(256);
    }
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(host[c][0], 1.0f);
        EXPECT_EQ(host[c][255], 1.0f);
        EXPECT_EQ(host[c][256], 2.0f);
        EXPECT_EQ(host[c][511], 2.0f);
    }
    bus.prepCycle(256);
    float* six[6] = {};
    EXPECT_FALSE(bus.wantWrite51(six)) << "past the host's frames";
    bus.resetOffs();
    bus.prepCycle(256);
    EXPECT_TRUE(bus.wantWrite51(six));
}

TEST_F(HostFedBus, NarrowerWritersMixIntoTheHostChannels)
{
    ASSERT_TRUE(bus.setBufPtr(pointers));
    const int n = 64;
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (auto& channel : host)
            channel.assign(Frames, 0.0f);
        bus.prepCycle(n);
        float* six[6] = {};
        ASSERT_TRUE(bus.wantWrite51(six));
        bus.doneWrite51();
        float* p = nullptr;
        ASSERT_TRUE(bus.wantWriteMono(&p, false));
        EXPECT_EQ(p, bus.buf(1)) << "through scratch 1";
        for (int i = 0; i < n; ++i)
            p[i] += 0.5f;
        bus.doneWriteMono();
        // The scratch started from the default in both cycles.
        for (int c = 0; c < 6; ++c)
            ASSERT_EQ(host[c][7], 0.5f + blocks().silence[7]) << "cycle " << cycle << " channel " << c;
    }

    // A direct writer gets the left host channel itself, and completing it
    // adds nothing from the scratch.
    for (auto& channel : host)
        channel.assign(Frames, 0.0f);
    float* direct = nullptr;
    ASSERT_TRUE(bus.wantWriteMono(&direct, true));
    EXPECT_EQ(direct, host[0].data());
    direct[0] = 0.25f;
    bus.doneWriteMono();
    EXPECT_EQ(host[0][0], 0.25f);
    EXPECT_EQ(host[1][0], 0.0f);

    // Rebinding to other arrays sends the next writes there.
    std::vector<float> other[6];
    float* otherPointers[6] = {};
    for (int c = 0; c < 6; ++c) {
        other[c].assign(Frames, 0.0f);
        otherPointers[c] = other[c].data();
    }
    ASSERT_TRUE(bus.setBufPtr(otherPointers));
    bus.prepCycle(n);
    float* six[6] = {};
    ASSERT_TRUE(bus.wantWrite51(six));
    EXPECT_EQ(six[5], other[5].data());
}

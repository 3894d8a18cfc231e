// The effect kinds of FxKinds.h. The extremes of each type are the
// settings that push it hardest: the longest feedback, the loudest
// resonance, the shortest and longest times, the widest sweeps.
#include "FxKinds.h"

#include "Chorus1.h"
#include "CrushX.h"
#include "Delay2.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "EQ2.h"
#include "Flanger2.h"
#include "Gator.h"
#include "GloFil.h"
#include "Phaser1S.h"
#include "Reverb2.h"
#include "StereoEnh1.h"

namespace fxtest {

namespace {

template <class E, class ER>
std::function<std::unique_ptr<VariatorInst_c>(bool)> maker()
{
    return [](bool serial) -> std::unique_ptr<VariatorInst_c> {
        if (serial)
            return std::make_unique<ER>();
        return std::make_unique<E>();
    };
}

} // namespace

// The line effects keep their lines to themselves: their output, which the
// lines feed, stands for their state.

const FxKind& delayKind()
{
    using D = Delay2_c;
    constexpr int SyncOff = 3; // the note-value item " Off "
    static const FxKind kind{
        "DELAY",
        maker<D, Delay2R_c>(),
        nullptr,
        D::pWet,
        0,
        {
            {{D::pNotes, SyncOff}, {D::pTime, 6800}, {D::pFeed, 99}, {D::pWet, 100}, {D::pModDepth, 990},
             {D::pModRate, 200}, {D::pFil, -100}},
            {{D::pNotes, SyncOff}, {D::pTime, 10}, {D::pFeed, 99}, {D::pWet, 100}, {D::pModDepth, 990},
             {D::pModRate, 1}, {D::pFil, 100}},
            {{D::pFeed, 99}, {D::pWet, 100}, {D::pFil, 0}},
        },
        nullptr,
        // Echoes of a +-16 input summed with a feedback below 1.
        2000.0f,
        true,
    };
    return kind;
}

const FxKind& stereoDelayKind()
{
    using D = DelayStereo_c;
    constexpr int SyncOff = 3;
    static const FxKind kind{
        "ST-DELAY",
        maker<D, DelayStereoR_c>(),
        nullptr,
        D::pWet,
        0,
        {
            // Longest feedback, linked with the shortest left time: the left
            // line rings almost as long as the right one.
            {{D::pSyncL, SyncOff}, {D::pSyncR, SyncOff}, {D::pTimeL, 1}, {D::pTimeR, 1300}, {D::pFeed, 99},
             {D::pWet, 100}},
            {{D::pSyncL, SyncOff}, {D::pSyncR, SyncOff}, {D::pTimeL, 1}, {D::pTimeR, 1}, {D::pFeed, 99},
             {D::pCross, 1}, {D::pFilterInFeedback, 1}, {D::pCutLo, 40}, {D::pCutHi, 11000}, {D::pStereo, -100}},
            {{D::pFeed, 99}, {D::pCross, 1}, {D::pLink, 0}, {D::pStereo, 0}, {D::pCutLo, 22000}, {D::pCutHi, 8}},
        },
        nullptr,
        1e5f,
        true,
    };
    return kind;
}

const FxKind& pingPongKind()
{
    using P = DelayPingPong_c;
    constexpr int SyncOff = 3;
    static const FxKind kind{
        "PING PONG",
        maker<P, DelayPingPongR_c>(),
        nullptr,
        P::pWet,
        0,
        {
            {{P::pFeed, 99}, {P::pWet, 100}, {P::pBalance, 100}, {P::pSyncC, SyncOff}, {P::pSyncL, SyncOff},
             {P::pSyncR, SyncOff}, {P::pTimeC, 1}, {P::pTimeL, 1}, {P::pTimeR, 1}},
            {{P::pFeed, 99}, {P::pWet, 100}, {P::pBalance, 0}, {P::pSyncL, SyncOff}, {P::pSyncR, SyncOff},
             {P::pTimeL, 1300}, {P::pTimeR, 1300}, {P::pPanL, 100}, {P::pPanR, -100}},
        },
        nullptr,
        2000.0f,
    };
    return kind;
}

const FxKind& chorusKind()
{
    using C = Chorus1_c;
    static const FxKind kind{
        "CHORUS",
        maker<C, Chorus1R_c>(),
        [](VariatorInst_c& e) {
            Lfos l;
            for (int k = 0; k < C::NumLFOs; ++k)
                l.push_back(&static_cast<C&>(e).getLFO(k));
            return l;
        },
        C::pWet,
        0,
        {
            {{C::pTime, 600}, {C::pTimeSpread, 90}, {C::pSpeed, 4000}, {C::pSpeedSpread, 90}, {C::pMode, 1},
             {C::pWet, 100}, {C::pDry, 100}, {C::pStereo, 0}},
            {{C::pTime, 1}, {C::pTimeSpread, 90}, {C::pSpeed, 20}, {C::pMode, 1}, {C::pWet, 100}, {C::pInvert, 1}},
        },
        nullptr,
        // No feedback: four taps and the dry path of a 16-fold input.
        100.0f,
    };
    return kind;
}

const FxKind& reverbKind()
{
    using R = Reverb2_c;
    static const FxKind kind{
        "REVERB",
        maker<R, Reverb2R_c>(),
        nullptr,
        R::pWet,
        0,
        {
            {{R::pRevTime, 100}, {R::pDamping, 0}, {R::pWet, 1000}, {R::pDiffusors, 2}, {R::pModOn, 1},
             {R::pModFreq, 20}},
            {{R::pRevTime, 100}, {R::pDamping, 90}, {R::pWet, 1000}, {R::pDiffusors, 6}, {R::pPredelay, 0}},
            {{R::pRevTime, 1}, {R::pWet, 1000}, {R::pModOn, 1}, {R::pModFreq, 3}, {R::pPredelay, 125}},
        },
        nullptr,
        2000.0f,
    };
    return kind;
}

const FxKind& flangerKind()
{
    using F = Flanger2_c;
    static const FxKind kind{
        "FLANGER",
        maker<F, Flanger2R_c>(),
        nullptr,
        F::pWet,
        0,
        {
            {{F::pTime, 8500}, {F::pTimeDepth, 999}, {F::pFeed, 999}, {F::pWet, 100}, {F::pPanDepth, 999},
             {F::pSync, -13}, {F::pModRate, 5000}},
            {{F::pTime, 1}, {F::pTimeDepth, 999}, {F::pFeed, 999}, {F::pInvertFeedback, 1}, {F::pWet, 100},
             {F::pInvertWet, 1}, {F::pPhase, 180}},
        },
        nullptr,
        20.0f,
    };
    return kind;
}

static std::vector<double> phaserState(VariatorInst_c& e)
{
    auto& p = static_cast<Phaser1S_c&>(e);
    std::vector<double> s = {p.z[0], p.z[1], p.k[0], p.k[1], p.lfoValue};
    for (const auto& ch : p.stage)
        s.insert(s.end(), std::begin(ch), std::end(ch));
    return s;
}

const FxKind& phaserKind()
{
    static const FxKind kind{
        "PHASER",
        [](bool serial) -> std::unique_ptr<VariatorInst_c> {
            if (serial)
                return std::make_unique<Phaser1SR_c>();
            return std::make_unique<Phaser1S_c>();
        },
        [](VariatorInst_c& e) { return Lfos{&static_cast<Phaser1S_c&>(e).lfo}; },
        Phaser1S_c::pWet,
        0,
        {
            {{Phaser1S_c::pFeedback, 99},
             {Phaser1S_c::pStages, 9},
             {Phaser1S_c::pDepth, 99},
             {Phaser1S_c::pCenter, 10000},
             {Phaser1S_c::pSpeed, 1000},
             {Phaser1S_c::pWet, 100}},
            {{Phaser1S_c::pFeedback, 99},
             {Phaser1S_c::pStages, 1},
             {Phaser1S_c::pFBInvert, 0},
             {Phaser1S_c::pCenter, 100},
             {Phaser1S_c::pStereo, 100}},
            {{Phaser1S_c::pFeedback, 99}, {Phaser1S_c::pStages, 2}, {Phaser1S_c::pFBInvert, 0}, {Phaser1S_c::pWet, 0}},
        },
        phaserState,
        30.0f,
    };
    return kind;
}

static std::vector<double> gloFilState(VariatorInst_c& e)
{
    auto& g = static_cast<GloFil_c&>(e);
    return {g.low[0], g.low[1], g.high[0], g.high[1], g.band[0], g.band[1], g.f, g.lfoValue};
}

const FxKind& gloFilKind()
{
    static const FxKind kind{
        "FILTER",
        [](bool serial) -> std::unique_ptr<VariatorInst_c> {
            if (serial)
                return std::make_unique<GloFilR_c>();
            return std::make_unique<GloFil_c>();
        },
        [](VariatorInst_c& e) { return Lfos{&static_cast<GloFil_c&>(e).lfo}; },
        GloFil_c::pWet,
        0,
        {
            // Lossless resonance at the top cutoff, swept to the top
            // coefficient, clean input stage.
            {{GloFil_c::pType, GloFil_c::tLP12},
             {GloFil_c::pResonance, 100},
             {GloFil_c::pCutoff, 20000},
             {GloFil_c::pSaturation, 0},
             {GloFil_c::pModDepth, 100},
             {GloFil_c::pModSpeed, 400}},
            {{GloFil_c::pType, GloFil_c::tHP12},
             {GloFil_c::pResonance, 100},
             {GloFil_c::pCutoff, 40},
             {GloFil_c::pSaturation, 100}},
            {{GloFil_c::pType, GloFil_c::tBR12},
             {GloFil_c::pResonance, 100},
             {GloFil_c::pCutoff, 20000},
             {GloFil_c::pModDepth, 100}},
            {{GloFil_c::pType, GloFil_c::tBP12}, {GloFil_c::pResonance, 99}, {GloFil_c::pCutoff, 40}},
        },
        gloFilState,
        200.0f,
    };
    return kind;
}

static std::vector<double> gatorState(VariatorInst_c& e)
{
    auto& g = static_cast<Gator_c&>(e);
    return {g.gain[0],          g.gain[1],          g.increment[0], g.increment[1],
            g.incrementTarget[0], g.incrementTarget[1], g.position};
}

const FxKind& gatorKind()
{
    static const FxKind kind{
        "GATOR",
        [](bool serial) -> std::unique_ptr<VariatorInst_c> {
            if (serial)
                return std::make_unique<GatorR_c>();
            return std::make_unique<Gator_c>();
        },
        nullptr,
        Gator_c::pWet,
        96000,
        {
            {{Gator_c::pWet, 100}, {Gator_c::pSmooth, 0}, {Gator_c::pNotes, 17}},
            {{Gator_c::pWet, 100}, {Gator_c::pSmooth, 100}, {Gator_c::pNotes, 1}},
        },
        gatorState,
        20.0f,
    };
    return kind;
}

const FxKind& enhancerKind()
{
    static const FxKind kind{
        "ST-ENHANC",
        [](bool serial) -> std::unique_ptr<VariatorInst_c> {
            if (serial)
                return std::make_unique<StereoEnh1R_c>();
            return std::make_unique<StereoEnh1_c>();
        },
        nullptr,
        StereoEnh1_c::pWet,
        0,
        {
            {{StereoEnh1_c::pWet, 100}, {StereoEnh1_c::pFactor, 40}, {StereoEnh1_c::pRoomsize, 5}},
            {{StereoEnh1_c::pWet, 100}, {StereoEnh1_c::pFactor, 40}, {StereoEnh1_c::pRoomsize, 100}},
        },
        [](VariatorInst_c& e) {
            auto& s = static_cast<StereoEnh1_c&>(e);
            std::vector<double> state;
            for (int c = 0; c < 2; ++c)
                state.insert(state.end(), s.getLine(c), s.getLine(c) + s.getLineLength());
            return state;
        },
        200.0f,
    };
    return kind;
}

const FxKind& eqKind()
{
    static const FxKind kind{
        "PARAM-EQ",
        [](bool serial) -> std::unique_ptr<VariatorInst_c> {
            if (serial)
                return std::make_unique<EQ2R_c>(18);
            return std::make_unique<EQ2_c>(18);
        },
        nullptr,
        -1,
        0,
        {
            {{EQ2_c::pFreq1, 11000}, {EQ2_c::pGain1, 180}, {EQ2_c::pQ1, 1200}},
            {{EQ2_c::pFreq1, 20}, {EQ2_c::pGain1, -180}, {EQ2_c::pQ1, 33}, {EQ2_c::pFreq2, 20}, {EQ2_c::pGain2, 180},
             {EQ2_c::pQ2, 1200}},
            {{EQ2_c::pFreq1, 11000}, {EQ2_c::pGain1, 180}, {EQ2_c::pQ1, 33}, {EQ2_c::pFreq2, 11000},
             {EQ2_c::pGain2, 180}, {EQ2_c::pQ2, 33}},
        },
        [](VariatorInst_c& e) {
            auto& eq = static_cast<EQ2_c&>(e);
            std::vector<double> s;
            for (const auto& perBand : eq.history)
                for (const EQ2_c::History_t& h : perBand)
                    s.insert(s.end(), {h.x1, h.x2, h.y1, h.y2});
            return s;
        },
        // Two bands of +18 dB on one frequency raise a +-16 input by up to
        // 36 dB.
        16.0f * 63.1f * 1.3f,
    };
    return kind;
}

const FxKind& crusherKind()
{
    static const FxKind kind{
        "CRUSHER",
        [](bool serial) -> std::unique_ptr<VariatorInst_c> {
            if (serial)
                return std::make_unique<CrushXR_c>();
            return std::make_unique<CrushX_c>();
        },
        nullptr,
        CrushX_c::pWet,
        0,
        {
            {{CrushX_c::pResonance, 100}, {CrushX_c::pCutoff, 20000}, {CrushX_c::pFilterType, CrushX_c::fBP12}},
            {{CrushX_c::pResolution, 100}, {CrushX_c::pDither, 1}, {CrushX_c::pDivider, 32},
             {CrushX_c::pDividerMode, CrushX_c::modeSlide}},
            {{CrushX_c::pResolution, 1601}, {CrushX_c::pAutoVolume, 0}, {CrushX_c::pDither, 1},
             {CrushX_c::pResonance, 100}, {CrushX_c::pCutoff, 40}, {CrushX_c::pFilterType, CrushX_c::fHP12},
             {CrushX_c::pPostDivider, 1}, {CrushX_c::pDivider, 7}, {CrushX_c::pDividerMode, CrushX_c::modeAverage}},
            {{CrushX_c::pResolution, 100}, {CrushX_c::pAutoVolume, 0}, {CrushX_c::pDither, 1},
             {CrushX_c::pResonance, 100}, {CrushX_c::pCutoff, 3000}, {CrushX_c::pFilterType, CrushX_c::fBR12}},
        },
        [](VariatorInst_c& e) {
            auto& c = static_cast<CrushX_c&>(e);
            std::vector<double> s = {c.envelope};
            for (const CrushX_c::Channel_t& ch : c.channel)
                s.insert(s.end(), {ch.ditherError, ch.low, ch.high, ch.band, ch.hold, ch.slide, ch.dc});
            return s;
        },
        2000.0f,
    };
    return kind;
}

const FxKind& effectKind(int type)
{
    static const FxKind& (*const kinds[NumEffectTypes])() = {
        delayKind,  stereoDelayKind, pingPongKind, chorusKind,   phaserKind, gloFilKind,
        reverbKind, flangerKind,     gatorKind,    enhancerKind, eqKind,     crusherKind,
    };
    return kinds[type]();
}

const char* effectKindName(int type)
{
    static const char* const names[NumEffectTypes] = {
        "Delay2", "DelayStereo", "DelayPingPong", "Chorus1", "Phaser1S",   "GloFil",
        "Reverb2", "Flanger2",   "Gator",         "StereoEnh1", "EQ2",     "CrushX",
    };
    return names[type];
}

} // namespace fxtest

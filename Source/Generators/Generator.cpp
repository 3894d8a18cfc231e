// The generator base and its unison render. See Generator.h.
#include "Generator.h"

#include "NoteFreqTable.h"
#include "Synth.h"
#include "Tone.h"
#include "Variator.h"

#include <algorithm>
#include <cmath>

namespace {

// Track off plays every key as this note.
constexpr int UntrackedNote = 24;
constexpr int HighestNote = 127;
constexpr float NoTuningHz = 440.0f;
constexpr int NoTuningNote = 60;

} // namespace

Generator_c::Generator_c(bool finishesFlag) : finishes(finishesFlag)
{
    sampleRate = 44100.0f;
    inverseSampleRate = 1.0f / 44100.0f;
}

Generator_c::~Generator_c() = default;

// While audio is stopped.
void Generator_c::create(Synth* s, unsigned int** rows)
{
    if (s)
        Part_c::create(s, s->getTuningTable());
    syncRows = rows;
}


bool Generator_c::render(int n)
{
    RenderingScope scope(*this);
    if (!active)
        return false;
    const float d = unisonAmount;
    bool result = false;
    if (d > UnisonThreshold) {
        result = renderUnisono(n, d);
    } else {
        pitchFactor = 1.0f;
        result = renderOne(n, 0);
    }
    return result && finishes;
}

bool Generator_c::renderUnisono(int n, float d)
{
    bool result = false;
    for (int k = 0; k < unisonCount; ++k) {
        pitchFactor = 1.0f + UnisonDetune[k] * d;
        const bool finished = renderOne(n, k);
        if (k == 1)
            result = finished;
    }
    pitchFactor = 1.0f;
    return result;
}

bool Generator_c::renderOne(int n, int copy)
{
    switch (renderMode) {
    case rmPlain:
        return renderNX(n, copy);
    case rmCrossFM:
        return renderXF(n, copy);
    case rmCrossAM:
        return renderXA(n, copy);
    default:
        return false;
    }
}

bool Generator_c::renderNX(int, int)
{
    return false;
}

bool Generator_c::renderXA(int, int)
{
    return false;
}

bool Generator_c::renderXF(int, int)
{
    return false;
}

void Generator_c::prepProc(int instrument, Note_c n, bool legato)
{
    Part_c::prepProc(instrument, n, legato);
}

bool Generator_c::cacheNoteStart()
{
    if (!paraSet)
        return false;
    cachePara(crVoiceStart, routeIndex, -1);
    return true;
}

bool Generator_c::hasTuning() const
{
    return tuning && tuning->hasTable();
}

const Parameter_c* Generator_c::notePara(int idx) const
{
    if (idx < 0 || !renderParameters || !paraSet || idx >= paraSet->getParaCount())
        return nullptr;
    return renderParameters + idx;
}

int Generator_c::offsetNote(int n, int trackPara, int octavePara, int semitonePara) const
{
    if (const Parameter_c* track = notePara(trackPara); track && track->value == 0)
        n = UntrackedNote;
    if (const Parameter_c* octave = notePara(octavePara))
        n += octave->value * tuning->getSemiPerOct();
    if (const Parameter_c* semitone = notePara(semitonePara))
        n += semitone->value;
    return n;
}

float Generator_c::getFrequency(int n, int trackPara, int octavePara, int semitonePara, int centPara) const
{
    // A table object whose set is not built yet answers 0 Hz for every note;
    // that is no tuning either.
    if (!hasTuning())
        return NoTuningHz;
    float x = static_cast<float>(offsetNote(n, trackPara, octavePara, semitonePara));
    if (const Parameter_c* cent = notePara(centPara))
        x += cent->fl * 0.01f;
    x = std::clamp(x, 0.0f, static_cast<float>(HighestNote));
    return MidiFrequency(x);
}

double Generator_c::offsetRatio(const Parameter_c* p, int octavePara, int semitonePara, int centPara)
{
    return std::exp2(p[octavePara].value + p[semitonePara].value / 12.0 + p[centPara].value / 1200.0);
}

double Generator_c::inputPitchFactor(float y)
{
    const double x = std::isnan(y) ? 0.0 : std::clamp(static_cast<double>(y), -1.0, 1.0);
    return ::pitchFactor(x);
}

int Generator_c::getNoteNr(int n, int trackPara, int octavePara, int semitonePara) const
{
    if (!hasTuning())
        return NoTuningNote;
    return offsetNote(n, trackPara, octavePara, semitonePara);
}

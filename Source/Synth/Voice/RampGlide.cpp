#include "RampGlide.h"

#include "ParaRow.h"
#include "SafeDiv.h"

#include <algorithm>
#include <cmath>
#include <new>

RampGlide_c::~RampGlide_c() = default;

bool RampGlide_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool result = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &result);
    if (!p && !result)
        return false;
    // The arrays follow the set this instance is bound to, which another
    // instance may have built with its own set count.
    const int n = std::max(paraSet->getSetCount(), 0);
    if (n != setCount || !previousNotes || !legatoFlags) {
        previousNotes.reset(new (std::nothrow) int32_t[static_cast<size_t>(n) + 1]);
        legatoFlags.reset(new (std::nothrow) bool[static_cast<size_t>(n) + 1]);
        if (!previousNotes || !legatoFlags) {
            previousNotes.reset();
            legatoFlags.reset();
            setCount = 0;
            return false;
        }
        setCount = n;
        std::fill(previousNotes.get(), previousNotes.get() + n + 1, -1);
        std::fill(legatoFlags.get(), legatoFlags.get() + n + 1, false);
    }
    if (!p)
        return result;
    createParas(p, {
        {.index = pGlideMode, .kind = ParaKind::Enu, .name = "Glide Mode", .lo = 0, .hi = 3, .def = 0, .width = 4,
         .items = "Off Held On Bend"},
        {.index = pBend, .name = "Bend", .unit = "semi", .lo = -48, .hi = 48, .precision = 0, .def = 0},
        {.index = pTime, .name = "Time", .unit = "sec", .logFactor = 4.0f, .lo = 1, .hi = 1200, .precision = 3,
         .def = 30},
        {.index = pConst, .kind = ParaKind::Enu, .name = "Const", .lo = 0, .hi = 1, .def = 0, .width = 4,
         .items = "TimeRate"},
    });
    return paraSet->spreadPara();
}

int RampGlide_c::clampSet(int set) const
{
    return std::clamp(set, 0, std::max(setCount - 1, 0));
}

void RampGlide_c::preprepProc(int set, int previousNote, bool legato)
{
    if (setCount < 1 || !previousNotes || !legatoFlags)
        return;
    const int s = clampSet(set);
    previousNotes[s] = previousNote;
    legatoFlags[s] = legato;
}

int RampGlide_c::getPreviousNote(int set) const
{
    return setCount > 0 && previousNotes ? previousNotes[clampSet(set)] : -1;
}

bool RampGlide_c::getLegato(int set) const
{
    return setCount > 0 && legatoFlags ? legatoFlags[clampSet(set)] : false;
}

void RampGlide_c::prepProc(int instrument, Note_c n, bool legato, bool add)
{
    Modulator_c::prepProc(instrument, n, legato, add);
    const Parameter_c* p = renderParameters;
    if (!p || !slotsReady)
        return;
    scale1 = 1.0f;
    scale2 = 1.0f;
    idle = false;

    const int set = routeIndex;
    const int previous = getPreviousNote(set);
    // The interval in units of 48 semitones (the pitch input's unit); the
    // part's note is the limited key.
    const float d = previous >= 0 ? static_cast<float>(previous - note.note) / 48.0f : 0.0f;
    const int mode = p[pGlideMode].value;
    float& value = *valuePtr;
    switch (mode) {
    case gmHeld:
        if (getLegato(set))
            value = add ? value + d : d;
        else
            value = 0.0f;
        break;
    case gmOn:
        value = add ? value + d : d;
        break;
    case gmBend:
        value = p[pBend].fl / 48.0f;
        break;
    default:
        value = 0.0f;
        break;
    }
    value = std::clamp(value, -1.0f, 1.0f);

    float seconds = p[pTime].fl;
    if ((mode == gmHeld || mode == gmOn) && p[pConst].value == 1)
        seconds *= std::fabs(d); // the time is per 48 semitones
    // Rounded to the nearest step, at least one: a glide shorter than half a
    // step still takes one.
    const int steps = toControlSteps(static_cast<double>(seconds * sampleRate + 0.5f));
    writeSegment(-so_fdiv(value, static_cast<float>(steps)), steps);
}

void RampGlide_c::goNextPhase()
{
    holdSegment();
}

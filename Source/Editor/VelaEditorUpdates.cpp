// How the instrument's editor follows its parameters beyond redrawing a
// control: the insert slots' effect frames, the depth displays' semitone
// mode and the controls that redraw with another.
#include "VelaEditor.h"

#include "Synth.h"
#include "VelaPages.h"

#include <algorithm>

namespace {
// The modulation matrix: ten rows, each with a destination and a depth.
constexpr int MatrixRows = 10;
constexpr int DestinationEntry0 = 670;
constexpr int DepthEntry0 = 680;
// A destination below this is a plain one; 31 a pitch of its own; 32..35
// refer to the destination of rows 0..3.
constexpr int FirstSpecialDestination = 31;
constexpr int PitchDestination = 31;
constexpr int RowReference0 = 32, RowReferenceLast = 35;
// The plain destinations that are pitches.
constexpr int PitchDestinations[] = {1, 6, 11, 15};
// A row that refers to another is followed this far; a circle ends plain.
constexpr int MaxLookups = 5;
// The range the depth of a pitch shows in semitones.
constexpr int SemitoneRange = 48;

// On the "main" page an on/off button lies inside its knob: a change of the
// knob's parameter redraws the button too.
struct Overlap
{
    int changed;
    int onOff;
};
constexpr Overlap Overlaps[] = {
    {484, 504}, {485, 505}, {486, 506}, {487, 507}, {488, 508}, {490, 508},
    {489, 509}, {491, 509}, {498, 517}, {499, 518},
};

constexpr int InsertTypeFirst = 215, InsertTypeLast = 218;
constexpr int GeneratorTypeFirst = 769, GeneratorTypeLast = 782;
// The 5.1 rows' switches, sliders and map: a change redraws in full, as the
// map shows every row.
constexpr int Mix51OnFirst = 510, Mix51OnLast = 516;
constexpr int Mix51First = 523, Mix51Last = 578;

bool within(int i, int first, int last)
{
    return i >= first && i <= last;
}
} // namespace

int VelaEditor_c::semitoneModeOfRow(int row)
{
    if (!engine)
        return 0;
    Synth::BusyScope busy(*engine);
    int r = row;
    for (int lookup = 0; lookup < MaxLookups; ++lookup) {
        const int d = engine->getParaVal(DestinationEntry0 + r);
        if (d < FirstSpecialDestination)
            return std::find(std::begin(PitchDestinations), std::end(PitchDestinations), d) !=
                           std::end(PitchDestinations)
                       ? SemitoneRange
                       : 0;
        if (d == PitchDestination)
            return SemitoneRange;
        if (d > RowReferenceLast)
            return 0;
        r = d - RowReference0;
    }
    return 0;
}

void VelaEditor_c::semitoneRule()
{
    for (int i = 0; i < MatrixRows; ++i)
        setSemitoneMode(DepthEntry0 + i, semitoneModeOfRow(i));
}

void VelaEditor_c::updateAllEdits()
{
    SynthEditor_c::updateAllEdits();
    if (openFlag)
        semitoneRule();
}

void VelaEditor_c::updateEdit(int index, bool withDependents)
{
    if (within(index, InsertTypeFirst, InsertTypeLast))
        updateXFx(index);
    if (within(index, GeneratorTypeFirst, GeneratorTypeLast))
        setDirty();
    for (const Overlap& o : Overlaps)
        if (o.changed == index)
            if (CControlVx* button = getRecord(o.onOff).control)
                button->setDirty(true);
    if (openFlag && within(index, DestinationEntry0, DestinationEntry0 + MatrixRows - 1))
        semitoneRule();
    if (within(index, Mix51OnFirst, Mix51OnLast) || within(index, Mix51First, Mix51Last))
        setDirty();
    SynthEditor_c::updateEdit(index, withDependents);
}

void VelaEditor_c::updateXFx(int)
{
    using namespace VelaPages;
    if (!engine)
        return;
    CModulFrameVx* fx = getExchFrame(FxPage);
    CModulFrameVx* model = getExchFrame(fxFrame(0, 1));
    if (!fx || !model)
        return;
    Synth::BusyScope busy(*engine);
    const int w = model->getViewSize().width();
    const int h = model->getViewSize().height();
    int types[InsertSlots];
    for (int j = 0; j < InsertSlots; ++j)
        types[j] = engine->getParaVal(InsertTypeEntry0 + j);
    // Two slots of one type share that type's one frame: it stands in the
    // first of them (the lowest effect number) and nowhere else.
    auto shownIn = [&](int type) {
        for (int j = 0; j < InsertSlots; ++j)
            if (types[j] == type)
                return j;
        return -1;
    };
    auto frameOf = [&](int type) {
        return type >= 0 && type < EffectTypes ? getExchFrame(fxFrame(type, SetX)) : nullptr;
    };
    auto rectOf = [&](int j) { return CRect(InsertX[j], InsertY[j], InsertX[j] + w, InsertY[j] + h); };
    // First the frames that leave: a type no slot holds any more, or one
    // that moves to another rectangle. Each leaves once.
    for (int j = 0; j < InsertSlots; ++j) {
        const int old = insertTypes[j];
        if (old < 0 || old == types[j])
            continue;
        CModulFrameVx* f = frameOf(old);
        if (!f)
            return;
        const int now = shownIn(old);
        if (fx->isChild(f) && (now < 0 || f->getViewSize() != rectOf(now)))
            fx->removeView(f, false);
    }
    // Then the frames that come, each in the first slot of its type (also
    // a type a slot kept, whose frame left the rectangle of a slot that
    // held the same type before).
    for (int j = 0; j < InsertSlots; ++j) {
        CModulFrameVx* f = frameOf(types[j]);
        if (types[j] != insertTypes[j] && !f)
            return;
        if (f && shownIn(types[j]) == j && !fx->isChild(f)) {
            f->setViewSize(rectOf(j));
            fx->addView(f);
            f->setDirty(true);
        }
        insertTypes[j] = types[j];
    }
    setDirty();
}

#include "ValueDisplayCheck.h"

#include "ButtonsAndDisplays.h"
#include "EditorLook.h"
#include "ParaDefinition.h"
#include "Parameter.h"
#include "Synth.h"
#include "SynthEditor.h"

#include <cairo.h>

#include <algorithm>
#include <set>

namespace ValueDisplayCheck {
namespace {
// Ranges up to this many values are walked whole; longer ones are sampled
// this many times, both ends included.
constexpr int WholeRange = 4000;

// The widest of the given texts in font; width receives its width.
Vdx::String_c widestOf(const std::vector<Vdx::String_c>& texts, CFontRef font, int* width)
{
    Vdx::String_c widest;
    int best = -1;
    for (const Vdx::String_c& t : std::set<Vdx::String_c>(texts.begin(), texts.end())) {
        const int w = Look::textWidth(t.c_str(), font);
        if (w > best) {
            best = w;
            widest = t;
        }
    }
    if (width)
        *width = std::max(best, 0);
    return widest;
}
} // namespace

namespace {
bool hasValues(const Parameter_c* p)
{
    return p && p->paraSpec && p->paraSpec->type != ptCharPtr && p->paraSpec->type != ptString &&
           p->paraSpec->type != ptFloatArray;
}
} // namespace

Vdx::String_c textAt(Synth& engine, int index, int v)
{
    Parameter_c* p = engine.getParaPtr(index);
    Vdx::String_c text;
    if (!hasValues(p)) {
        engine.getParaDispStr(index, text);
        return text;
    }
    // A parameter of our own on the same definition shows the value without
    // touching the engine's.
    Parameter_c probe;
    probe.paraSpec = p->paraSpec;
    probe.setValue(v);
    probe.getDisplay(text);
    probe.paraSpec = nullptr; // borrowed: the definition stays the parameter's
    return text;
}

Vdx::String_c widestText(Synth& engine, const Row& row, int* width)
{
    const CFontRef font = Look::textFont(row.role, row.height);
    std::vector<Vdx::String_c> texts;
    if (row.texts == Texts::Depth) {
        texts = {"-1.0000", "-48:00", "-24:00"};
        return widestOf(texts, font, width);
    }
    const Parameter_c* p = engine.getParaPtr(row.index);
    if (!hasValues(p)) {
        texts.push_back(textAt(engine, row.index, 0));
        return widestOf(texts, font, width);
    }
    const int lo = p->getLowValue();
    const int hi = p->getHighValue();
    if (hi - lo <= WholeRange) {
        for (int v = lo; v <= hi; ++v)
            texts.push_back(textAt(engine, row.index, v));
    } else {
        for (int k = 0; k <= WholeRange; ++k)
            texts.push_back(textAt(engine, row.index, static_cast<int>(lo + (static_cast<long long>(hi) - lo) * k / WholeRange)));
    }
    return widestOf(texts, font, width);
}

std::vector<Overflow> check(Synth& engine, std::span<const Row> rows)
{
    std::vector<Overflow> out;
    for (const Row& row : rows) {
        int width = 0;
        Vdx::String_c text = widestText(engine, row, &width);
        if (width <= row.width)
            continue;
        const CFontRef fitted = Look::fittedFont(row.role, CRect(0, 0, row.width, row.height), text.c_str());
        out.push_back({row, text, width, fitted->size, Look::textWidth(text.c_str(), fitted) > row.width});
    }
    return out;
}

std::vector<Row> rowsOf(SynthEditor_c& editor)
{
    std::vector<Row> rows;
    for (int i = 0; i < editor.getEditCount(); ++i) {
        const SynthEditor_c::ControlRecord& r = editor.getRecord(i);
        if (auto* v = dynamic_cast<CVarDisplay*>(r.control))
            rows.push_back({i, v->getWidth(), v->getHeight(), v->getFont(), Texts::Parameter, "value display"});
        else if (auto* pm = dynamic_cast<CPlusMinusDisplay*>(r.control))
            rows.push_back({i, pm->getTextRect().width(), pm->getTextRect().height(), pm->getFont(), Texts::Parameter,
                            "plus/minus display"});
        else if (auto* d = dynamic_cast<CModDepthDisp*>(r.control))
            rows.push_back({i, d->getWidth(), d->getHeight(), d->getFont(), Texts::Depth, "depth display"});
        const Edit& binder = editor.getEdit(i);
        if (binder.display && binder.paraIndex >= 0)
            rows.push_back({binder.paraIndex, binder.display->getWidth(), binder.display->getHeight(),
                            binder.display->getFont(), Texts::Parameter, "label beneath a control"});
    }
    return rows;
}

} // namespace ValueDisplayCheck

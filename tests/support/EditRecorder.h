// A listener for the controls' tests that takes every change the way the
// editor does (the user text of text-mode controls, every changed slot
// through getValue(int*, float*)) and records it; pictures of plain colours.
#pragma once

#include "CBitmap.h"
#include "CControlVx.h"
#include "CDrawContext.h"
#include "ControlTestRig.h"

#include <string>
#include <vector>

namespace ControlTest {

struct EditRecorder : CControlListenerVx
{
    struct Change
    {
        int index;
        float value;
    };
    void valueChanged(CControl* c) override
    {
        auto* v = static_cast<CControlVx*>(c);
        ++notices;
        texts.push_back(v->getUserText());
        int index = -1;
        float value = 0.f;
        while (v->getValue(&index, &value))
            changes.push_back({index, value});
    }
    void touched(CControl*, bool) override { ++touches; }
    // The last value sent for an edit index (-1 when none was).
    float last(int index) const
    {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            if (it->index == index)
                return it->value;
        return -1.f;
    }
    int notices = 0;
    int touches = 0;
    std::vector<std::string> texts;
    std::vector<Change> changes;
};

// A picture of w x h filled with one colour; frames stacked below each
// other may get colours of their own.
inline CBitmap* solidPicture(int w, int h, std::vector<CColor> frameColours)
{
    auto* b = new CBitmap(w, h);
    CDrawContext c(b);
    const int n = static_cast<int>(frameColours.size());
    for (int i = 0; i < n; ++i) {
        c.setFillColor(frameColours[static_cast<size_t>(i)]);
        c.drawRect(CRect(0, i * h / n, w, (i + 1) * h / n), kDrawFilled);
    }
    return b;
}

inline bool sameColour(CColor a, CColor b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

} // namespace ControlTest

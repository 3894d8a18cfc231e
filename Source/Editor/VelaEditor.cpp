#include "VelaEditor.h"

#include "EditorPictures.h"

namespace {
// The pictures of the pages, by resource number: page backgrounds and
// panels, buttons, knob strips, sliders, keyboard strips and menus.
struct IdRange
{
    int first;
    int last;
};
constexpr IdRange PagePictures[] = {
    {200, 206}, {219, 227}, {229, 229}, {239, 252}, {300, 303}, {305, 307}, {320, 328}, {330, 335},
    {337, 350}, {352, 357}, {360, 369}, {371, 383}, {393, 394}, {396, 396},
};
} // namespace

VelaEditor_c::VelaEditor_c(AudioEffect* effect)
    : SynthEditor_c(effect, NumEdits, EditorPictures::MainBackground, -1)
{
    setKnobModeIndex(KnobModeIndex);
    for (const IdRange& r : PagePictures)
        for (int id = r.first; id <= r.last; ++id)
            pictures[id] = loadBitmap(id);
}

CBitmap* VelaEditor_c::getPicture(int id) const
{
    return id >= 0 && id <= EditorPictures::MaxId ? pictures[id] : nullptr;
}

VelaEditor_c::~VelaEditor_c() = default;

AEffEditor* VelaEditor_c::create(AudioEffect* effect)
{
    return new VelaEditor_c(effect);
}

bool VelaEditor_c::open(void* parent)
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    if (!SynthEditor_c::open(parent))
        return false;
    openFlag = true;
    updateDepMod(-1);
    setDirty();
    return true;
}

void VelaEditor_c::close()
{
    std::lock_guard<std::recursive_mutex> guard(editorMutex);
    RemoveFrames(MaxExchFrames);
    SynthEditor_c::close();
}

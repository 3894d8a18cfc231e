#include "ModulFrame.h"

#include <cstring>

CModulFrameVx::CModulFrameVx(int x, int y, int w, int h, CFrame* frame, CBitmap* background, const char* n)
    : CViewContainer(CRect(x, y, x + w, y + h), frame, background), name(n)
{
}

void CModulFrameVx::addView(CView* view)
{
    if (view)
        CViewContainer::addView(view);
}

bool CModulFrameVx::isAttached(CView* target)
{
    const CView* below = this;
    for (CViewContainer* p = getParentView(); p; p = p->getParentView()) {
        if (!p->isChild(below))
            return false;
        if (p == target)
            return true;
        below = p;
    }
    return false;
}

bool CModulFrameVx::isTypeOf(const char* typeName) const
{
    return (typeName && std::strcmp(typeName, "CModulFrameVx") == 0) || CViewContainer::isTypeOf(typeName);
}

void DepMod_c::undefine()
{
    selector = -1;
    frameIdx = -1;
    for (int& s : subFrames)
        s = -1;
}

void DepMod_c::define(int sel, int frame, int s0, int s1, int s2, int s3, int s4, int s5, int s6, int s7, int s8, int s9, int s10, int s11, int s12, int s13, int s14, int s15, int s16, int s17, int s18, int s19, int s20, int s21)
{
    if (selector != -1)
        return;
    selector = sel;
    frameIdx = frame;
    const int list[SubFrameCount] = {s0, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12, s13, s14, s15, s16, s17, s18, s19, s20, s21};
    std::memcpy(subFrames, list, sizeof subFrames);
}

int DepMod_c::getSubFrameIdx(int i) const
{
    return i >= 0 && i < SubFrameCount ? subFrames[i] : -1;
}

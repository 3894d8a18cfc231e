// CModulFrameVx: a named panel of the editor (a page, a module panel or one
// variant of a panel). DepMod_c: a rule that shows, in a parent panel, the
// one child panel picked by the value of a selector parameter.
// Thread: the user-interface thread.
#pragma once

#include "CView.h"

class CBitmap;
class CFrame;

class CModulFrameVx : public CViewContainer
{
public:
    // The panel covers (x, y, x + w, y + h) of its parent. The name is kept
    // as given (not copied).
    CModulFrameVx(int x, int y, int w, int h, CFrame* frame, CBitmap* background, const char* name);

    // A missing view is ignored.
    void addView(CView* view) override;
    // True when walking up through the parents reaches target and every
    // parent on the way still holds the panel below it.
    virtual bool isAttached(CView* target);
    const char* getName() const { return name; }
    bool isTypeOf(const char* typeName) const override;

private:
    const char* name;
};

class DepMod_c
{
public:
    static constexpr int SubFrameCount = 22;

    DepMod_c() { undefine(); }
    void undefine();
    // Only an undefined rule takes a definition; a defined one is kept.
    void define(int selector, int frame, int s0 = -1, int s1 = -1, int s2 = -1, int s3 = -1, int s4 = -1, int s5 = -1, int s6 = -1, int s7 = -1, int s8 = -1, int s9 = -1, int s10 = -1, int s11 = -1, int s12 = -1, int s13 = -1, int s14 = -1, int s15 = -1, int s16 = -1, int s17 = -1, int s18 = -1, int s19 = -1, int s20 = -1, int s21 = -1);
    bool isDefined() const { return selector != -1; }
    int getSelector() const { return selector; }
    int getFrameIdx() const { return frameIdx; }
    int* getSubFrames() { return subFrames; }
    // -1 past the end of the list.
    int getSubFrameIdx(int i) const;

private:
    int selector; // parameter whose value picks the child; -1 undefined
    int frameIdx; // parent frame number
    int subFrames[SubFrameCount]; // child frame numbers in value order; ends at the first <= 0
};

// VelaEditor_c: the instrument's editor. Nine pages (seven upper ones chosen
// by the page tabs, two lower ones below them), the panels that change with
// a generator's, filter's or effect's type, and every control bound to the
// external parameter it edits.
//
// The pages are data (VelaPages.h): one table per page, panel and effect
// type. The builders named after the pages (createMain, createOscEdits, ...,
// createDelEdits, ...) walk their tables, and one builder per kind of row
// makes each control (buildRow); the layout functions (createKnob,
// createParaBar, createFxName, createEnvSlider, createXY, ...) make the
// controls the way every page wants them.
//
// It loads every picture its pages use when it is made (their sizes are
// known at once; their pixels are painted when first shown). The frames and
// controls stand only while the editor is open.
//
// It keeps three things in step with the parameters: the effect frames of
// the four insert slots on the "fx" page (updateXFx), the semitone mode of
// the modulation matrix's depth displays, and the on/off buttons that lie
// inside knobs on the "main" page, which redraw with their knob.
// Thread: the host's user-interface thread (VelaEditor.cpp builds,
// VelaEditorBuilders.cpp has the builders of each kind of row,
// VelaEditorUpdates.cpp follows the parameters).
#pragma once

#include "EditorPictures.h"
#include "PageLayout.h"
#include "SynthEditor.h"

#include <span>

class CDrawbarVx;
class CLabelVx;
class CMIKnob;
class CXYVx;

class VelaEditor_c : public SynthEditor_c
{
public:
    // Edit slots: one per external parameter.
    static constexpr int NumEdits = 967;
    // The parameter that holds the knob drag mode (circular or linear).
    static constexpr int KnobModeIndex = 657;
    // The upper-page selector and the value that shows no upper page.
    static constexpr int EditPageIndex = 603;
    static constexpr int NoUpperPage = 7;
    static constexpr int InsertSlots = 4;

    // The knob styles (PageLayout::knobStyle has their sizes and strips).
    enum DialType_t : int
    {
        kDialSmall = 0,
        kDialWide1 = 1,
        kDialWide2 = 2,
        kDialLarge = 3,
        kDialCutoff = 4,
        kDialResonance = 5,
        kDialEndless = 6,
        kDialGenerator1 = 7, // 7-10: the detune knobs of generators 1-4
        kDialFilter1Cutoff = 11,
        kDialFilter1Resonance = 12,
        kDialFilter2Cutoff = 13,
        kDialFilter2Resonance = 14,
        kDialEnvelope = 15,
        kDialEnvelopeSmall = 16,
    };

    // The text colours: the default of every menu, label and display, and
    // the three the pages name.
    enum TextColour : int
    {
        kTextDefault = 0,
        kTextBright,
        kTextDim,
        kTextOlive,
        kTextColours,
    };

    explicit VelaEditor_c(AudioEffect* effect);
    // The factory the plug-in registers with the instrument.
    static AEffEditor* create(AudioEffect* effect);
    ~VelaEditor_c() override;

    // Refused before the engine is initialised; builds every frame and
    // control, shows every value and the frames the values select.
    bool open(void* parent) override;
    // Removes the frames and controls; a second close does nothing.
    void close() override;
    // The host's knob mode does not reach the editor: its knobs follow the
    // editor's own setting (parameter 657).
    bool setKnobMode(int32_t mode) override;
    void updateAllEdits() override;
    void updateEdit(int index, bool withDependents) override;
    // Shows no upper page (parameter 603 := 7).
    void switchBack() override;
    // Places the effect frames of the insert slots' types in their
    // rectangles on the "fx" page (the argument is not used).
    void updateXFx(int index);

    // --- builders: each walks its table into a frame (VelaPages.h).
    void createAllEdits();
    void createExchangeables();
    void createMain(CModulFrameVx* frame);
    void createFileEdits(CModulFrameVx* frame);
    void createSettings(CModulFrameVx* frame);
    void createMatrixEdits(CModulFrameVx* frame);
    void createLFOEdits(CModulFrameVx* frame, int lfo);
    void createArpEdits(CModulFrameVx* frame);
    void createKeyboard(CModulFrameVx* frame);
    void create51MixEdits(CModulFrameVx* frame);
    void createFilEdits(CModulFrameVx* frame);
    void createEffFrame(CModulFrameVx* frame);
    void createOscEdits(CModulFrameVx* frame, int slot);
    void createSamEdits(CModulFrameVx* frame, int slot);
    void createWTGEdits(CModulFrameVx* frame, int slot);
    void createLopEdits(CModulFrameVx* frame, int slot);
    void createGenSamTable(CModulFrameVx* frame, int slot);
    // One per effect type, set 0, 1 or 2.
    void createDelEdits(CModulFrameVx* frame, int set);
    void createStDelEdits(CModulFrameVx* frame, int set);
    void createPPDelEdits(CModulFrameVx* frame, int set);
    void createChoEdits(CModulFrameVx* frame, int set);
    void createPhaEdits(CModulFrameVx* frame, int set);
    void createGFiEdits(CModulFrameVx* frame, int set);
    void createRevEdits(CModulFrameVx* frame, int set);
    void createFlangerEdits(CModulFrameVx* frame, int set);
    void createGatorEdits(CModulFrameVx* frame, int set);
    void createStereoEnhEdits(CModulFrameVx* frame, int set);
    void createEQEdits(CModulFrameVx* frame, int set);
    void createCrushEdits(CModulFrameVx* frame, int set);
    // The builder of effect type 0..11.
    void createEffectEdits(int type, CModulFrameVx* frame, int set);

    // --- layout functions (VelaEditorBuilders.cpp). Each returns what it
    // made, or null without engine, frame or picture.
    // A filmstrip knob of a style centred on (x, y); with a display offset
    // a value display 36 x 8 centred on (x, y + offset).
    CMIKnob* createKnob(int style, CModulFrameVx* frame, int index, int x, int y, int displayOffset, CColor colour);
    // A flat bar 65 x 11 at (x, y) and its value 40 x 11 centred on (x + 87, y + 6).
    CMIKnob* createParaBar(CModulFrameVx* frame, int index, int x, int y);
    // Effect row r's name at (12, 13r + 10)-(67, 13r + 21).
    CLabelVx* createFxName(CModulFrameVx* frame, int r, const char* text);
    CMIKnob* createFxKnob(CModulFrameVx* frame, int r, const char* text, int index);
    COnOffButtonVx* createFxOnOff(CModulFrameVx* frame, int r, const char* text, int index);
    // A hanging slider: the large form (x - 4, y)-(x + 15, y + 86) with its
    // value 34 x 8 centred on (x + 6, y - 12), or the small form (x, y)-(x + 10, y + 73).
    CDrawbarVx* createEnvSlider(CModulFrameVx* frame, int index, int x, int y, bool small, bool withDisplay);
    // An XY pad on index (x) and index + 1 (y), size pixels square.
    CXYVx* createXY(CModulFrameVx* frame, int index, int x, int y, int size, bool tint);

    // --- the walk: every row of a table into a frame at a place.
    void buildRows(CModulFrameVx* frame, std::span<const PageLayout::Row> rows, const PageLayout::Place& place = {});
    void buildRow(CModulFrameVx* frame, const PageLayout::Row& row, const PageLayout::Place& place, int repeat);

    // A picture the pages use, by resource number; null for others and for
    // pictures that failed to load.
    CBitmap* getPicture(int id) const;
    CColor getTextColour(int which) const;
    // The effect type whose frame insert slot j (0..3, effects 3 to 6)
    // shows; -1 none.
    int getInsertType(int slot) const;
    // The semitone mode the matrix row's depth display takes (0 or 48).
    int semitoneModeOfRow(int row);

private:
    void defineRules();
    void createFrame(int number);
    void semitoneRule();

    CBitmap* pictures[EditorPictures::MaxId + 1] = {};
    CColor textColours[kTextColours];
    int32_t insertTypes[InsertSlots] = {-1, -1, -1, -1};
};

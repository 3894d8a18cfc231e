// How a control is tied to its parameter. The editor names a parameter by
// its edit index, the index of the instrument's external parameter table,
// and hands it unchanged to the engine. There are two ways:
// - registered controls: a factory of SynthEditor_c builds the control with
//   the editor as its listener and enters it in the record of its index
//   (SynthEditor.h), with a record kind;
// - binders: an Edit ties one parameter to a main control and an optional
//   value display beneath it and is itself the control's listener.
// Either way a control never calls the engine: its listener does, holding
// the engine's busy counter; and the engine never touches a control: it
// queues the index, and the editor's idle pass updates the controls.
// Thread: the user-interface thread.
#pragma once

#include "CControlVx.h"
#include "PSUData.h"

class CLabelVx;
class CModulFrameVx;
class Synth;

// Record kinds: what the editor records per edit index about the view it
// registered there, apart from the control's own type (CControlVx.h).
enum RecordKind : tControlType
{
    kRecordNone = 0,        // none or unclassified
    kRecordOnOff = 5,       // createOnOff
    kRecordRadio = 7,       // createRadio
    kRecordMenu = 9,        // parameter menus
    kRecordFileList = 10,   // file-list menus: the item chosen sets the value
    kRecordVarDisplay = 11, // createVarDisplay
    kRecordPlusMinus = 12,  // createPMDisplay
    kRecordDepth = 13,      // createDepth; follows the editor's font colour
    kRecordPad = 14,        // XY pad and 5.1 map
    kRecordText = 18,       // createCharDisp: the text is the parameter's
    kRecordEditableText = 19, // createCharDisp, editable: the editor's hook takes it
};

// The change of a parameter's value (new - old) that a control made with
// the right mouse button, for the engine's group operation.
class GroupDeltaValue_c : public PSUData_i
{
public:
    explicit GroupDeltaValue_c(float d) : delta(d) {}
    float delta;
};

// After a user change of parameter p (old: its value before): when the
// control was worked with the right button, the change goes to the engine's
// group operation, without payload when the press restored the default.
void groupStep(Synth* engine, const CControlVx* control, int p, float old);

class Edit : public CControlListenerVx
{
public:
    // With a control and an engine: binds the parameter and adds the control.
    void createGeneral(CControlVx* control, int parameter, Synth* engine, CModulFrameVx* frame);
    // The control becomes the main control: its default is the parameter's,
    // it shows the parameter, and the frame adds it.
    void addMain(CModulFrameVx* frame, CControlVx* control);
    // A label centred on (x, y) that shows the parameter's text (needs the
    // engine and the frame's background).
    CLabelVx* addDisplay(CModulFrameVx* frame, int x, int y, int w, int h, CColor colour);
    // Shows value (0..1) and the parameter's text on the controls.
    void Update(float value);
    // A step of the main control, or value, goes to the engine.
    void handleUserInput(float value);

    void valueChanged(CControl* control) override;
    void touched(CControl* control, bool right) override;

    int paraIndex = -1; // engine parameter; -1 unbound
    CControlVx* mainControl = nullptr;
    CLabelVx* display = nullptr;
    Synth* engine = nullptr;
};

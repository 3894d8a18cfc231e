// The commands of the command rings (HoldData_c::command): one letter for the
// records the engine posts between the audio thread and the idle side, small
// numbers for the commands the idle side hands to processGUICmd. The values
// travel in records and are compared by isSame, so they never change; 0 is
// the empty record.
#pragma once

namespace Cmd {

// Toward the audio thread.
constexpr int NoteZones = 'Q';      // note, the instrument's key and velocity zones checked
constexpr int NoteNoZones = 'X';    // note, no zone check
constexpr int MidiReset = 'R';      // MidiReset()
constexpr int NotesOff = 'S';       // AllNotesOff: index 255 every instrument, else that one
constexpr int ControllerSend = 'Y'; // controller sending: value -1 every assignment

// Toward the idle side.
constexpr int MultiProgram = 'E';      // setMultiPrg(value)
constexpr int MultiBank = 'F';         // setMultiBnk(value)
constexpr int HostProgram = 'I';       // setProgramCore(value); any two are the same record
constexpr int InsProgram = 'J';        // setInsPrg(index, value), from a settings change
constexpr int InsProgramMidi = 'M';    // the same, from a MIDI program change or NRPN step
constexpr int InsBank = 'K';           // setInsBnk(index, value), from a settings change
constexpr int InsBankMidi = 'N';       // the same, from a MIDI bank select or NRPN step
constexpr int ParaChangeFollowUp = 'L'; // postprocessParaChange(index, part, value)
constexpr int EditIns = 'O';           // setEditIns(index)
constexpr int UserMessage = 'P';       // a panel: title ptr2, text ptr1 (freed after)
// The editor's redraws and keys, asked for on the audio thread.
constexpr int EditorRedraw = 'D';      // updateEditor(index, value != 0); index -1 every control
constexpr int EditorKey = 'G';         // a key shown: index the channel, value note x 128 + velocity
constexpr int EditorKeysUp = 'H';      // every key shown released

// processGUICmd.
constexpr int Key = 5;               // handleKey(value)
constexpr int LoadedPresetPath = 13; // path parameter index takes the last loaded preset
constexpr int NextPatch = 15;        // next preset file of the instrument's folder
constexpr int PreviousPatch = 16;    // previous preset file
constexpr int MeterValue = 28;       // a level meter's value: ptr1 the part, ptr2 the value (double)
constexpr int EditorSwitchBack = 51;
constexpr int TriggerNote = 61;      // ptr points at the Note_c to audition
constexpr int ClearLearn = 62;       // clears the learn assignment of the touched control
constexpr int EditorModeOn = 63;
constexpr int EditorModeOff = 64;
constexpr int ModWheel = 91; // the product class handles it

} // namespace Cmd

#pragma once
// MIDI status kinds and the controller numbers the engine reads, in one place
// so that the parser, the parked-event queue and the senders agree.

namespace Midi {

// Status kinds (status byte & 0xF0); system messages start at 0xF0.
constexpr int NoteOff = 0x80;
constexpr int NoteOn = 0x90;
constexpr int PolyPressure = 0xA0;
constexpr int Control = 0xB0;
constexpr int Program = 0xC0;
constexpr int ChannelPressure = 0xD0;
constexpr int PitchBend = 0xE0;
constexpr int System = 0xF0;
constexpr int StatusBit = 0x80; // bytes below it are data bytes
constexpr int ChannelMask = 0x0F;
constexpr int DataMask = 0x7F;

// Controller numbers.
constexpr int CCBankSelectMSB = 0;
constexpr int CCModWheel = 1;
constexpr int CCBreath = 2;
constexpr int CCFoot = 4;
constexpr int CCDataEntry = 6;
constexpr int CCVolume = 7;
constexpr int CCPan = 10;
constexpr int CCExpression = 11;
constexpr int CCGeneral1 = 16;
constexpr int CCGeneral4 = 19;
constexpr int CCBankSelectLSB = 32;
constexpr int CCDataEntryLSB = 38;
constexpr int CCSustain = 64;
constexpr int SustainDownFrom = 32; // sustain values from here hold the pedal down
constexpr int CCDataIncrement = 96;
constexpr int CCDataDecrement = 97;
constexpr int CCNRPNLSB = 98;
constexpr int CCNRPNMSB = 99;
constexpr int CCRPNLSB = 100;
constexpr int CCRPNMSB = 101;
constexpr int CCResetAll = 121;
constexpr int CCAllNotesOff = 123; // 123..127 all lead to all notes off

// A note-off, or a note-on with velocity 0, which means the same.
inline bool isNoteOff(const unsigned char* m)
{
    const int kind = m[0] & 0xF0;
    return kind == NoteOff || (kind == NoteOn && (m[2] & DataMask) == 0);
}

// A message that only ends notes: a note-off or the sustain pedal let up.
// It matters to an instrument only for the notes it holds on that channel.
inline bool endsNotes(const unsigned char* m)
{
    return isNoteOff(m) ||
           ((m[0] & 0xF0) == Control && (m[1] & DataMask) == CCSustain && (m[2] & DataMask) < SustainDownFrom);
}

inline bool isNoteOn(const unsigned char* m)
{
    return (m[0] & 0xF0) == NoteOn && (m[2] & DataMask) != 0;
}

} // namespace Midi

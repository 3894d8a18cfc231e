// Virtual key numbers and modifier bits of a VstKeyCode, as hosts send them
// and as the X key translation produces them.
#pragma once

#include <cstdint>

enum GuiVirtualKey : uint8_t
{
    kVKeyNone = 0,
    kVKeyBack = 1,
    kVKeyTab = 2,
    kVKeyReturn = 4,
    kVKeyEscape = 6,
    kVKeySpace = 7,
    kVKeyEnd = 9,
    kVKeyHome = 10,
    kVKeyLeft = 11,
    kVKeyUp = 12,
    kVKeyRight = 13,
    kVKeyDown = 14,
    kVKeyPageUp = 15,
    kVKeyPageDown = 16,
    kVKeyEnter = 19,
    kVKeyDelete = 22,
    kVKeyF1 = 40, // F1..F12 follow in order
};

enum GuiKeyModifier : uint8_t
{
    kKeyModShift = 1 << 0,
    kKeyModAlternate = 1 << 1,
    kKeyModCommand = 1 << 2,
    kKeyModControl = 1 << 3,
};

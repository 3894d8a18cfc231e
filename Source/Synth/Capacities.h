// Capacities of the system: counts and sizes that several files rely on live
// here, under the names the code uses, and nowhere else.
#pragma once

constexpr int MacAssertBufferSize = 1279; // bytes of the assertion reporter's line
constexpr int ParaTextBufferBytes = 320;     // bytes incl. terminator of a caller's buffer for a parameter text
constexpr int ParaNameBufferBytes = 24;      // bytes incl. terminator of a parameter set's name and unit answers
constexpr int EnuItemWidthLimit = 32;        // enumeration items are narrower than this many characters

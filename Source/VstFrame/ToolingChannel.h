// The tooling channel: one vendor-specific call of our own plug-ins through
// which tools reach what the editor reaches, without an editor. The headless
// host, the tests and the scripts that build factory programs use it to set
// and read every external entry (the 602 host parameters and the editor's
// entries above them), to write text entries such as sample paths, to run
// the instrument's numbered commands and to select the editor's page.
// docs/tooling-channel.md tells how to use it.
//
// A call: dispatcher(effVendorSpecific, index = Tooling::ChannelId,
// value = an Operation, ptr = a Request, opt = 0). The answer is Done (1)
// when the request was carried out, Refused (-1) with Request::status and
// Request::message saying why, and 0 from a plug-in that has no channel.
// A record whose size or version is not this header's is refused without
// being written to.
//
// Shared by the plug-in and the tools: plain records only, no engine types.
#pragma once

#include "VstInterface.h"

#include <cstdint>

namespace Tooling {

// The index argument of effVendorSpecific that opens the channel ("TsTl").
constexpr int32_t ChannelId = vstFourCC('T', 's', 'T', 'l');
constexpr int32_t RequestVersion = 1;

// Dispatcher answers.
constexpr intptr_t Done = 1;
constexpr intptr_t Refused = -1;

// Text fields, each terminated within its size.
constexpr int TextBytes = 1024;    // a text entry's text (sample paths)
constexpr int NameBytes = 64;      // names and display texts
constexpr int MessageBytes = 256;  // the reason of a refusal

enum Operation : int32_t
{
    // Reads entry: normalised, value, low, high, isText, name,
    // parameterName, display, and text for a text entry.
    opGet = 1,
    // Writes entry from normalised (0..1), as an editor control does.
    opSetNormalised = 2,
    // Writes entry from value, the parameter's own whole number (3 for the
    // loop sampler of "Gen 1 Type", a frame number for a loop point); exact
    // where 0..1 cannot step through the range.
    opSetValue = 3,
    // Writes the text entry entry from text, as the editor's text fields
    // and file buttons do (sample paths, the SoundFont import paths).
    opSetText = 4,
    // Runs the instrument's numbered command entry with index and value, as
    // the editor's buttons send them.
    opCommand = 5,
    // Shows the editor's upper page value (0..6) the way its page selector
    // does: the selector's entry takes the value.
    opSelectPage = 6,
};

enum Status : int32_t
{
    stOk = 0,
    stBadRecord = 1,        // size or version not this header's
    stUnknownOperation = 2,
    stNotOpen = 3,          // the plug-in is not open
    stWrongThread = 4,      // called from the audio thread
    stNoEntry = 5,          // entry outside 0 .. entries - 1
    stUnmapped = 6,         // the entry addresses no parameter
    stReadOnly = 7,         // a display entry, or the project's changed marker
    stNotText = 8,          // a text written to a number entry
    stIsText = 9,           // a number written to a text entry
    stBadValue = 10,        // normalised outside 0..1, value outside low..high
    stBadText = 11,         // text not terminated within TextBytes
    stNotHandled = 12,      // no one answers this command
};

// In: size, version, and what the operation names. Out: status, message,
// and (after opGet and every write) the entry as it stands then.
struct Request
{
    int32_t size = sizeof(Request);
    int32_t version = RequestVersion;
    int32_t entry = 0;        // external index; the command number of opCommand
    int32_t value = 0;        // in: opSetValue, opSelectPage, opCommand; out: the entry's value
    int32_t index = -1;       // opCommand's index (-1: the edited instrument)
    float normalised = 0.0f;  // in: opSetNormalised; out: the entry's 0..1
    int32_t low = 0;          // out: value's range
    int32_t high = 0;
    int32_t isText = 0;       // out: 1 for a text entry
    int32_t status = stOk;    // out
    char text[TextBytes] = {};
    char name[NameBytes] = {};          // out: the entry's name ("-" for most editor entries)
    char parameterName[NameBytes] = {}; // out: the name of the parameter it addresses
    char display[NameBytes] = {};       // out: the value as the editor shows it
    char message[MessageBytes] = {};    // out: why the request was refused
};

} // namespace Tooling

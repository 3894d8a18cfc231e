// Our own messages through the dispatcher's vendor-specific opcode
// (effVendorSpecific) besides the tooling channel (ToolingChannel.h): index
// names the message, value and ptr carry it. A foreign host never sends
// them; the plug-in answers 0 to any it does not know. The headless host
// (tools/host) shares this header.
#pragma once

#include "VstInterface.h"

#include <cstdint>

// One picture of the editor, for review tools: value is its resource
// number, ptr a VendorPictureRequest. The plug-in answers 1 when the picture
// is one the editor paints itself: it fills in the size, the frame count
// and the name, and, when pixels holds room for width * height words, the
// pixels (premultiplied ARGB, row by row). It answers 0 for other numbers.
constexpr int32_t kVendorPictureMessage = vstFourCC('T', 's', 'P', 'c');

struct VendorPictureRequest
{
    int32_t width = 0;
    int32_t height = 0;
    int32_t frames = 0;
    char name[48] = {};
    uint32_t* pixels = nullptr; // null: only the size and name are asked for
    int64_t capacity = 0;       // words at pixels
};

// The tooling channel: tools without an editor reach the entries, commands
// and pages through the same engine calls the editor makes. See
// ToolingChannel.h for the record and docs/tooling-channel.md for its use.
//
// Threads: the host's user-interface thread (the dispatcher holds the engine
// lock around the call, vendorSpecific the busy counter); a request from
// inside the audio or event callback is refused.
#include "Synth.h"

#include "EPAS.h"
#include "Parameter.h"
#include "ToolingChannel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Copies text into a field of bytes characters, always terminated.
void copyField(char* field, size_t bytes, const char* text)
{
    const size_t n = text ? std::min(std::strlen(text), bytes - 1) : 0;
    if (n)
        std::memcpy(field, text, n);
    std::memset(field + n, 0, bytes - n);
}

template <size_t N>
void copyField(char (&field)[N], const char* text)
{
    copyField(field, N, text);
}

bool isTextType(ParaType_t type)
{
    return type == ptCharPtr || type == ptString;
}

} // namespace

intptr_t Synth::toolingRequest(int32_t operation, Tooling::Request& r)
{
    using namespace Tooling;
    if (r.size != static_cast<int32_t>(sizeof(Request)) || r.version != RequestVersion)
        return Refused;
    BusyScope busyScope(*this);
    r.status = stOk;
    copyField(r.message, "");
    auto refuse = [&](Status status, const std::string& why) {
        r.status = status;
        copyField(r.message, why.c_str());
        return Refused;
    };
    // Inside the audio or event callback only: a host that renders on its
    // one thread calls the channel from that thread between blocks.
    if (onAudioThread())
        return refuse(stWrongThread, "the tooling channel does not run on the audio thread");
    if (!isOpen() || !hasParameterMap())
        return refuse(stNotOpen, "the plug-in is not open");

    if (operation == opCommand) {
        if (!processGUICmd(r.entry, r.index, r.value, nullptr))
            return refuse(stNotHandled, "no one answers command " + std::to_string(r.entry) + " with index " +
                                            std::to_string(r.index));
        return Done;
    }
    if (operation == opSelectPage) {
        const int selector = getEditPageEntry();
        if (selector < 0)
            return refuse(stNotHandled, "this plug-in has no editor pages");
        r.entry = selector;
        operation = opSetValue;
    }
    if (operation < opGet || operation > opSetText)
        return refuse(stUnknownOperation, "unknown operation " + std::to_string(operation));

    const int entries = numParaSlots;
    const std::string entryText = "entry " + std::to_string(r.entry);
    if (r.entry < 0 || r.entry >= entries)
        return refuse(stNoEntry, entryText + " is outside 0.." + std::to_string(entries - 1));
    auto [part, para, ins] = getParaTarget(r.entry);
    Parameter_c* p = part ? part->getParaPtr(ins, para) : nullptr;
    if (!p)
        return refuse(stUnmapped, entryText + " addresses no parameter");
    const bool text = isTextType(p->getType());
    char parameterName[NameBytes] = {};
    p->getName(parameterName, sizeof parameterName);
    const std::string named = entryText + " (\"" + parameterName + "\")";

    if (operation != opGet) {
        if (r.entry == getDirtyMarkerIndex())
            return refuse(stReadOnly, entryText + " only tells the host that the project changed; it is never written");
        if (getEPAS(r.entry)->readOnly)
            return refuse(stReadOnly, named + " is shown only, never written");
    }
    switch (operation) {
    case opSetNormalised:
        if (text)
            return refuse(stIsText, named + " holds a text; write it with the text operation");
        if (!(r.normalised >= 0.0f && r.normalised <= 1.0f))
            return refuse(stBadValue, named + " takes 0..1, not " + std::to_string(r.normalised));
        setParameterAutomated(r.entry, r.normalised);
        break;
    case opSetValue:
        if (text)
            return refuse(stIsText, named + " holds a text; write it with the text operation");
        if (r.value < p->getLowValue() || r.value > p->getHighValue())
            return refuse(stBadValue, named + " takes " + std::to_string(p->getLowValue()) + ".." +
                                          std::to_string(p->getHighValue()) + ", not " + std::to_string(r.value));
        setParameterValueAutomated(r.entry, r.value);
        break;
    case opSetText: {
        if (!text)
            return refuse(stNotText, named + " holds a number; write it with a value");
        if (std::memchr(r.text, 0, sizeof r.text) == nullptr)
            return refuse(stBadText, "the text for " + entryText + " is not terminated within " +
                                         std::to_string(TextBytes) + " bytes");
        // The editor's text fields and file buttons write this way.
        setParaString(r.entry, Vdx::String_c(r.text));
        break;
    }
    default:
        break;
    }

    // The entry as it stands now (a write may have been clamped, snapped or
    // followed by the change hook); the target is looked up again, since a
    // write of a selector moves where its paged entries point.
    auto [nowPart, nowPara, nowIns] = getParaTarget(r.entry);
    Parameter_c* q = nowPart ? nowPart->getParaPtr(nowIns, nowPara) : nullptr;
    if (!q)
        return Done;
    r.value = q->value;
    r.normalised = nowPart->getPara01(nowIns, nowPara);
    r.low = q->getLowValue();
    r.high = q->getHighValue();
    r.isText = isTextType(q->getType()) ? 1 : 0;
    const EPAS_c* d = getEPAS(r.entry);
    copyField(r.name, d && d->name ? d->name : "");
    q->getName(parameterName, sizeof parameterName);
    copyField(r.parameterName, parameterName);
    Vdx::String_c shown;
    getParaDispStr(r.entry, shown);
    copyField(r.display, shown.c_str());
    Vdx::String_c held;
    if (r.isText)
        getParaString(r.entry, &held);
    copyField(r.text, held.c_str());
    return Done;
}

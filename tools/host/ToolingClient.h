// The host's side of our plug-ins' tooling channel (ToolingChannel.h): set
// and read any external entry, write text entries, run commands and select
// the editor's page through one vendor-specific call. A plug-in without the
// channel answers 0, and every call then fails with a reason saying so.
// Thread: the host's main thread, like every other dispatcher call.
#pragma once

#include "PluginHost.h"
#include "ToolingChannel.h"

#include <string>

namespace Host {

class ToolingClient_c
{
public:
    explicit ToolingClient_c(PluginHost_c& host) : host_(host) {}

    // Whether the plug-in answers the channel (reads entry 0).
    bool available();

    // Each carries out one request; true when done. The request holds the
    // entry as it stands afterwards (value, 0..1, range, texts); on false
    // error says why, in the plug-in's words where it gave any.
    bool get(int entry, Tooling::Request& answer, std::string& error);
    bool setNormalised(int entry, float value, Tooling::Request& answer, std::string& error);
    bool setValue(int entry, int value, Tooling::Request& answer, std::string& error);
    bool setText(int entry, const std::string& text, Tooling::Request& answer, std::string& error);
    bool command(int command, int index, int value, std::string& error);
    bool selectPage(int page, std::string& error);

private:
    bool run(Tooling::Operation operation, Tooling::Request& request, std::string& error);

    PluginHost_c& host_;
};

// The entries of our instrument that --soundfont writes: the generator type
// of slot k (1, 2) and the SoundFont import path of loop sampler k. Each is
// checked by the name of the parameter it addresses before it is written,
// so another plug-in is refused instead of written to.
struct SoundFontEntries
{
    int typeEntry;
    const char* typeName;
    int pathEntry;
    const char* pathName;
};
constexpr SoundFontEntries kSoundFontSlots[2] = {
    {769, "Gen 0 Type", 813, "Import Sampler 0 SF2 Path"},
    {770, "Gen 1 Type", 814, "Import Sampler 1 SF2 Path"},
};
// The generator type of the loop sampler.
constexpr int kLoopSamplerType = 3;

// Sets generator slot `slot` (1, 2) to the loop sampler and imports the
// SoundFont at file (made absolute) through the instrument's own import:
// the path written to the slot's import entry. False with a reason for a
// slot outside 1..2, a file that is not a SoundFont 2 file, or a plug-in
// whose entries are not these.
bool importSoundFont(ToolingClient_c& tooling, int slot, const std::string& file, std::string& error);

} // namespace Host

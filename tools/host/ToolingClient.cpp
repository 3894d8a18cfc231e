#include "ToolingClient.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace Host {

bool ToolingClient_c::run(Tooling::Operation operation, Tooling::Request& request, std::string& error)
{
    request.size = sizeof(Tooling::Request);
    request.version = Tooling::RequestVersion;
    // The plug-in terminates every text it writes; terminate ours too.
    request.message[0] = 0;
    const intptr_t answer = host_.dispatch(effVendorSpecific, Tooling::ChannelId, operation, &request);
    request.message[sizeof request.message - 1] = 0;
    if (answer == Tooling::Done)
        return true;
    if (answer == Tooling::Refused && request.message[0])
        error = request.message;
    else if (answer == Tooling::Refused)
        error = "the plug-in refused the request (status " + std::to_string(request.status) + ")";
    else
        error = "the plug-in has no tooling channel";
    return false;
}

bool ToolingClient_c::available()
{
    Tooling::Request request;
    std::string error;
    request.entry = 0;
    return run(Tooling::opGet, request, error);
}

bool ToolingClient_c::get(int entry, Tooling::Request& answer, std::string& error)
{
    answer = Tooling::Request{};
    answer.entry = entry;
    return run(Tooling::opGet, answer, error);
}

bool ToolingClient_c::setNormalised(int entry, float value, Tooling::Request& answer, std::string& error)
{
    answer = Tooling::Request{};
    answer.entry = entry;
    answer.normalised = value;
    return run(Tooling::opSetNormalised, answer, error);
}

bool ToolingClient_c::setValue(int entry, int value, Tooling::Request& answer, std::string& error)
{
    answer = Tooling::Request{};
    answer.entry = entry;
    answer.value = value;
    return run(Tooling::opSetValue, answer, error);
}

bool ToolingClient_c::setText(int entry, const std::string& text, Tooling::Request& answer, std::string& error)
{
    answer = Tooling::Request{};
    if (text.size() >= sizeof answer.text)
        return error = "the text for entry " + std::to_string(entry) + " is longer than " +
                       std::to_string(sizeof answer.text - 1) + " bytes",
               false;
    answer.entry = entry;
    std::memcpy(answer.text, text.data(), text.size());
    return run(Tooling::opSetText, answer, error);
}

bool ToolingClient_c::command(int command, int index, int value, std::string& error)
{
    Tooling::Request request;
    request.entry = command;
    request.index = index;
    request.value = value;
    return run(Tooling::opCommand, request, error);
}

bool ToolingClient_c::selectPage(int page, std::string& error)
{
    Tooling::Request request;
    request.value = page;
    return run(Tooling::opSelectPage, request, error);
}

namespace {

// A RIFF file of form "sfbk".
bool looksLikeSoundFont(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    char head[12] = {};
    if (!in.read(head, sizeof head))
        return false;
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "sfbk", 4) == 0;
}

bool entryIs(ToolingClient_c& tooling, int entry, const char* name, std::string& error)
{
    Tooling::Request answer;
    if (!tooling.get(entry, answer, error))
        return false;
    if (std::strcmp(answer.parameterName, name) != 0)
        return error = "entry " + std::to_string(entry) + " is \"" + answer.parameterName + "\", not \"" + name +
                       "\": this plug-in does not import SoundFonts this way",
               false;
    return true;
}

} // namespace

bool importSoundFont(ToolingClient_c& tooling, int slot, const std::string& file, std::string& error)
{
    if (slot < 1 || slot > 2)
        return error = "--soundfont: generator slot " + std::to_string(slot) +
                       " holds no loop sampler (only slots 1 and 2 do)",
               false;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    if (ec || !std::filesystem::is_regular_file(absolute, ec))
        return error = "--soundfont: cannot read " + file, false;
    if (!looksLikeSoundFont(absolute.string()))
        return error = "--soundfont: " + file + " is not a SoundFont 2 file", false;
    const SoundFontEntries& e = kSoundFontSlots[slot - 1];
    if (!entryIs(tooling, e.typeEntry, e.typeName, error) || !entryIs(tooling, e.pathEntry, e.pathName, error))
        return false;
    Tooling::Request answer;
    if (!tooling.setValue(e.typeEntry, kLoopSamplerType, answer, error))
        return false;
    return tooling.setText(e.pathEntry, absolute.string(), answer, error);
}

} // namespace Host

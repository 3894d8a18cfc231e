// The commands of tessel-host. Reports go to out as "key: value" lines that
// scripts can grep; errors and plug-in faults go to err.
#pragma once

#include "HostOptions.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace Host {

class PluginHost_c;
class ToolingClient_c;

// Largest chunk the host reads from a file or accepts from a plug-in.
constexpr size_t kMaxChunkBytes = size_t(256) << 20;
// Most parameters and programs info lists; real plug-ins have hundreds.
constexpr int kMaxListedEntries = 100000;

int runInfo(const HostOptions& options, std::ostream& out, std::ostream& err);
// The command line's entry settings in their order: host parameters through
// the host's own call, the rest through the plug-in's tooling channel. Each
// channel write is reported on out; false with the reason on a refusal.
bool applyEntrySettings(PluginHost_c& host, ToolingClient_c& tooling, const std::vector<EntrySetting>& settings,
                        std::ostream& out, std::string& error);
int runRender(const HostOptions& options, std::ostream& out, std::ostream& err);
int runWavStats(const HostOptions& options, std::ostream& out, std::ostream& err);
// Reads a sample file with the engine's own reader (SampleCommand.cpp).
int runSample(const HostOptions& options, std::ostream& out, std::ostream& err);

// Opens the plug-in's editor in a window of its own on the X display, runs
// idle, clicks into it, saves the window's pixels as PNG and closes it
// (EditorCommand.cpp, built into the executable only: it needs X11 and
// cairo, which the host's library and its tests do without).
using EditorRunner = int (*)(const HostOptions& options, std::ostream& out, std::ostream& err);
int runEditor(const HostOptions& options, std::ostream& out, std::ostream& err);
// main registers runEditor; without it the editor command reports that it
// is not built in.
void setEditorRunner(EditorRunner runner);
// Writes every picture the plug-in's editor paints itself to PNG files in a
// folder (PicturesCommand.cpp, built into the executable only: it needs
// cairo). main registers it as the editor runner is.
int runPictures(const HostOptions& options, std::ostream& out, std::ostream& err);
void setPicturesRunner(EditorRunner runner);

// The whole tool: parses args (without the program name) and runs the
// command. Returns the exit status: 0 success, 1 failure, 2 bad command line.
int runHost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace Host

// OsLib_c: the services the system takes from the operating system beyond
// files: the user's preferences for this plug-in (numbers, texts and byte
// blocks), a monotonic millisecond clock, sleeping, the mouse double-click
// interval and modal message panels. Static functions only.
//
// Preferences live in one file per bundle identifier in
// $XDG_CONFIG_HOME/Vendrax/ (default ~/.config/Vendrax/). Every store re-reads
// the file under an advisory lock, changes one entry and renames a complete
// new file over the old one, so plug-in instances in one or several
// processes never lose each other's keys and a crash never leaves half a
// file. Keys and values may hold any bytes.
//
// Panels run zenity when a display is there and zenity is installed;
// otherwise the message goes to the standard error stream and the answer is
// that of a cancelled panel (No), so a headless host never blocks.
#pragma once

#include "VdxString.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Tool::Disk {
class Path_c;
}

class OsLib_c
{
public:
    OsLib_c() = delete;

    // The preferences domain: names the file the preferences live in.
    static constexpr const char* BundleIdentifier = "com.vendrax.Tessel3";
    // The stored preference that sets the double-click interval, in seconds
    // (a number or a text such as "0.5"); absent means 1000 ms.
    static constexpr const char* DoubleClickKey = "DoubleClickThreshold";

    // --- Preferences. Any thread; never the audio thread (they touch files).
    // Failures answer false and show nothing.

    // Stores the number and writes the preferences through. True when the
    // write succeeded; false for an empty key.
    static bool remindLong(Vdx::String_c const& key, int value);
    // Reads the number under key. True when a number in the 32-bit range was
    // found (then *value is set); false for an empty key, a null output, a
    // missing key or a value that is not such a number.
    static bool recallLong(Vdx::String_c const& key, int* value);
    // Stores the text and writes the preferences through. False for an empty
    // key or an empty value (an empty text is never stored; the old value
    // stays).
    static bool remindStringCore(Vdx::String_c const& key, Vdx::String_c const& value);
    // Empties *value, then reads the whole text under key (any length, never
    // cut). False for an empty key, a null output or a missing key (the output
    // then stays empty).
    static bool recallStringCore(Vdx::String_c const& key, Vdx::String_c* value);
    // Stores n bytes as text: two uppercase hexadecimal digits per byte, high
    // nibble first. False for n <= 0, null data or a failed allocation.
    static bool remindChunk(Vdx::String_c const& key, void const* data, int n);
    // Reads a block stored by remindChunk. On success *n is half the text's
    // length (rounded down) and *data a new malloc'ed block of *n + 2 bytes
    // that the caller frees; digits other than 0-9 and A-F count as 0 and a
    // trailing odd digit is ignored. False for a missing key (outputs not
    // touched) or a failed allocation (*data null).
    static bool recallChunk(Vdx::String_c const& key, void** data, int* n);
    // Reads a text and makes it the path (cleaned, absolute flag computed); a
    // missing key gives the empty path. The result of the read.
    static bool recallPath(Vdx::String_c const& key, Tool::Disk::Path_c& path);

    // --- Time. Any thread.

    // Milliseconds of the monotonic clock; never decreases.
    static int64_t getMilliseconds();
    // Blocks the calling thread for ms milliseconds (nothing for ms <= 0).
    static void xSleep(int ms);
    // The double-click interval in ms: the stored preference DoubleClickKey
    // (seconds) times 1000, truncated; 400 when it is absent or unreadable.
    static int getDoubleClickTreshold();

    // --- Messages to the user. The caller waits for the user: the engine
    // shows its panels through PanelQueue_c, on a thread of their own, and
    // never calls these where a host or a lock waits on it.

    // A panel with title and message; buttons "Yes" and "No" with ask set,
    // else "OK". True when the first button (Yes or OK) was pressed; false
    // for No, a closed panel or no panel at all (headless).
    static bool ErrorAlert(char const* title, char const* message, bool ask);
    // The same; while the panel program runs, *running (when not null) holds
    // its process id (0 otherwise), so that another thread may close it.
    static bool showPanel(char const* title, char const* message, bool ask, std::atomic<int>* running);
    // Note the order: askUser takes the message first, tellUser the title.
    static bool askUser(char const* message, char const* title);
    static bool askUser(Vdx::String_c const& message, Vdx::String_c const& title);
    static bool tellUser(char const* title, char const* message);
    static bool tellUser(Vdx::String_c const& title, Vdx::String_c const& message);

    static bool hasAltivec() { return false; }

    // --- Linux layer.

    // $XDG_CONFIG_HOME (when set to an absolute path), else $HOME/.config;
    // empty when neither can be found. Read anew at each call.
    static std::string getConfigHome();
    // $XDG_DATA_HOME (when set to an absolute path), else $HOME/.local/share;
    // empty when neither can be found. Read anew at each call.
    static std::string getDataHome();
    // <config home>/Vendrax/<BundleIdentifier>.prefs; empty without a config
    // home.
    static std::string getPreferencesFile();

    // The command line of a panel (program name first): zenity --question or
    // --info with --no-markup, the title and the text as given. Texts that
    // are not valid UTF-8 are read as ISO Latin-1 and converted.
    static std::vector<std::string> panelArguments(char const* title, char const* message, bool ask);

    // Test seam: when set, every panel goes to the hook (texts already made
    // UTF-8) instead of zenity or the error stream, and its answer is the
    // panel's. An empty function restores the real panels.
    using PanelHook = std::function<bool(std::string const& title, std::string const& message, bool ask)>;
    static void setPanelHook(PanelHook hook);
};

// ModuleManager_c: one module's parameters (one set of its ParaSet_c) saved to
// and loaded from a module file, copied to and pasted from two clipboards, or
// reset; a group form does the same for a list of modules. Modules reach it
// from their file menus (handlePartFileIO); the data moved is always the
// parameter-set chunk.
//
// Module file "*.MOD": exactly one chunk (word 0 the type code, word 1 the
// chunk's byte length, equal to the file length, word 2 the order, then the
// entries). Group file "*.MGP": the chunks of the group's modules back to
// back, in the order of the module list.
//
// Clipboards: two buffers of CopyBufferBytes shared by every plug-in instance
// in the process (Synth::CopyBuffer0 and CopyBuffer1), so a module copied in
// one instance can be pasted in another. A host may run the instances'
// editors on different threads, so every access to the clipboards goes
// through one process-wide lock, held only while bytes are copied in or out:
// a paste never sees half of a copy.
//
// Saving never destroys: a file is written beside its target under a
// temporary name, every write and the close are checked, and only a complete
// file is renamed over the target. A failed save leaves the old file as it
// was, and the handlers tell the user.
//
// Threads: the user-interface thread only. Loading silences the instrument
// first (ReceiveMIDI(false), Synth::hardNoteOff) so that the audio thread
// does not play half-loaded parameters.
#pragma once

#include "Capacities.h"
#include "Disk.h"
#include "FileDialog.h"
#include "Path.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class Instrument_c;
class Part_c;
class Synth;

// The action a module's file menu asks for; 7 and above do nothing.
enum tpfioMode : int {
    tpfioLoad = 0,   // load a module file
    tpfioSave = 1,   // save a module file
    tpfioCopy1 = 2,  // copy to clipboard 1
    tpfioPaste1 = 3, // paste from clipboard 1
    tpfioCopy2 = 4,  // copy to clipboard 2
    tpfioPaste2 = 5, // paste from clipboard 2
    tpfioReset = 6,  // reset to defaults
};

class ModuleManager_c
{
public:
    // exportBuffer is the engine's chunk buffer. Exports do not use it: the
    // host's getChunk may be filling it at the same time. The clipboards hold
    // CopyBufferBytes each.
    ModuleManager_c(Synth* synth, void* exportBuffer, unsigned char* clipboard1, unsigned char* clipboard2);
    virtual ~ModuleManager_c();
    ModuleManager_c(const ModuleManager_c&) = delete;
    ModuleManager_c& operator=(const ModuleManager_c&) = delete;

    // The action of a module's file menu on set `set` of part; name is the
    // module's display name ("Oscillator"), which also keys the folder the
    // dialog remembers. Nothing without an engine, part or name.
    // Load and save only queue their dialog and return: the file is read or
    // written in a later idle round of the engine, once the user chose it
    // (a cancel does nothing). loaded, when given, runs after a load's
    // answer was handled (also for a cancel or a file that was refused).
    // The part must live as long as the engine.
    void handlePartFileIO(Part_c* part, int set, tpfioMode mode, const char* name,
                          std::function<void()> loaded = {});
    // The same for a null-terminated list of parts, with group files and the
    // group operations (4, 5 and 7 on do nothing). The list is copied.
    void handleGroupFileIO(Part_c** parts, int set, tpfioMode mode, const char* name);

    // Files. True on success. An import reads a file only when its type code
    // is the part's and 12 <= its size word <= the bytes the file has left;
    // anything else leaves the module as it was.
    bool importModule(Part_c* part, Tool::Disk::Path_c& path, int set);
    bool exportModule(Part_c* part, Tool::Disk::Path_c& path, int set);
    bool importGroup(Part_c** parts, Tool::Disk::Path_c& path, int set);
    bool exportGroup(Part_c** parts, Tool::Disk::Path_c& path, int set);

    // Clipboards. A chunk larger than CopyBufferBytes - 1 is not copied; a
    // paste takes a clipboard chunk only when it lies inside the clipboard
    // and carries the part's type code.
    bool copyModule(Part_c* part, int set);
    bool copyModule2(Part_c* part, int set);
    bool pasteModule(Part_c* part, int set);
    bool pasteModule2(Part_c* part, int set);
    // The same with a buffer of CopyBufferBytes given by the caller.
    bool copyModuleCore(Part_c* part, int set, unsigned char* buffer);
    bool pasteModuleCore(Part_c* part, int set, unsigned char* buffer);
    // Clipboard 1 holds the group's chunks back to back; a group of 0 bytes
    // or more than ModuleGroupCopyLimit bytes is not copied.
    bool copyGroup(Part_c** parts, int set);
    bool pasteGroup(Part_c** parts, int set);
    bool resetGroup(Part_c** parts, int set);

    FileDialog_c& getFileDialog() { return fileDialog; }

protected:
    // Writes n bytes of a file being saved; the number written. A test makes
    // a write fail here.
    virtual size_t writeBytes(std::FILE* file, const void* data, size_t n);

private:
    // Sets up the dialog for a module name; false when the product string
    // cannot be had.
    bool prepareDialog(const char* name, const char* patterns);
    // The prepared dialog in mode (FileDialog_c::ModeOpen or ModeSave) at
    // the folder remembered for the module name, ready to be shown on the
    // panel thread.
    FileDialog_c::Show_t dialogFor(int mode, const char* name);
    // The two file modes of a module and of a group: Load asks for a file,
    // imports it, redraws the editor and runs loaded; Save asks for a file
    // and exports, telling the user when that fails. The dialog is queued;
    // load and save run in the idle round that gets the answer, so they
    // hold copies of what they work on. Nothing for another mode.
    void loadOrSave(tpfioMode mode, const char* name, std::function<void(Tool::Disk::Path_c&)> load,
                    std::function<bool(Tool::Disk::Path_c&)> save, std::function<void()> loaded);
    // Writes the bytes to a temporary file beside path and renames it over
    // path once complete. False (path untouched, no temporary file left) on
    // any failure.
    bool saveFile(const Tool::Disk::Path_c& path, const void* data, size_t n);
    // Reads one chunk of the part's type at the open file's position, where
    // bytesLeft bytes remain; null (size 0) when the header is not the
    // part's, its size word is below 12 or beyond bytesLeft, or a read falls
    // short.
    std::unique_ptr<int[]> readChunk(Part_c* part, long long bytesLeft, int* size);
    // Loads a read chunk into the set with the engine's follow-up.
    void applyChunk(Part_c* part, int set, int* chunk, int size);
    // Instrument `set`, or null when the engine has no such instrument.
    Instrument_c* instrumentOf(int set);
    bool copyTo(Part_c* part, int set, unsigned char* clipboard);
    bool pasteFrom(Part_c* part, int set, unsigned char* clipboard);

    Disk_c disk;
    FileDialog_c fileDialog;
    Synth* synth;
    unsigned char* clipboard1;
    unsigned char* clipboard2;
    char productString[ProductAnswerSize] = {};
    std::string dialogTitle; // the dialog does not own its title
};

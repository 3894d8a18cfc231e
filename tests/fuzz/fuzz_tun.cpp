// Feeds arbitrary bytes to the .tun reader, as a tuning file named by the user
// or by a restored chunk reaches it. Whatever the text, every entry of the
// table must stay a usable frequency, and the values derived from it (the
// semitone scale, lookups in both directions) must stay finite and in range.
#include "NoteFreqTable.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > static_cast<size_t>(TunFileMaxBytes))
        return 0;
    ParaSet_c* slot = nullptr;
    NoteFreqTable_c table;
    table.getParaSetPtr(&slot);
    if (!table.hasTable())
        std::abort();

    table.loadTunText(reinterpret_cast<const char*>(data), size);
    for (int n = 0; n < NumTuningNotes; ++n)
        if (!NoteFreqTable_c::isUsableFrequency(table.getEntry(n)))
            std::abort();

    table.determineSemiScale();
    if (!std::isfinite(table.getSemiScale()))
        std::abort();
    const int semis = table.getSemiPerOct();
    if (semis < 1 || semis > 66)
        std::abort();

    for (float note : {-3.0f, 0.0f, 60.5f, 127.0f, 140.0f}) {
        if (!std::isfinite(table.get(note)))
            std::abort();
    }
    const int nr = table.getNoteNr(table.get(64.0f));
    if (nr < 0 || nr > 127)
        std::abort();

    table.fixSongLoad(); // a loaded table is always kept
    return 0;
}

// Vela_c's programs and their samples. A program names the samples its
// generators play; it does not hold them. So before a program is stored the
// names of stores it does not play are left out, an exported preset takes its
// samples along into its folder, and an imported one finds them again
// relative to its own folder, loading them only once every value is in.
// Programs of the predecessor format are converted when they arrive.
//
// Threads: all of it runs on the user interface thread (the conversion also
// where the change hook runs); the audio thread is kept out of a program
// being replaced by the first instrument's write lock.
#include "Vela.h"

#include "Disk.h"
#include "OsLib.h"
#include "Parameter.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using G = VelaGlo_c;

// The gain of a predecessor's generator mix, in the volume parameter's steps;
// a silent side (log of 0) gives a value far below any volume's floor, which
// the parameter then clamps to its floor.
int mixLevel(double gain)
{
    const double level = gain > 0.0 ? 100.0 * std::log10(gain) + 0.5 : -1.0e6;
    return static_cast<int>(std::trunc(std::clamp(level, -1.0e6, 1.0e6)));
}

} // namespace

void Vela_c::postprocessC2load(int)
{
    // Always set 0: the predecessor had one program part.
    constexpr int set = 0;
    G* glo = &globalPart;
    // Every write goes through the change hook, so routes, effect slots and
    // displays follow the converted values.
    auto write = [&](Part_c* p, int parameter, int value) {
        if (!p)
            return;
        p->setParaVal(set, parameter, value);
        postprocessParaChange(set, p, parameter);
    };
    auto write01 = [&](Part_c* p, int parameter, float value) {
        if (!p)
            return;
        p->setPara01(set, parameter, value);
        postprocessParaChange(set, p, parameter);
    };
    auto module = [&](int number, int parameter, int value) { write(getModule(number), parameter, value); };
    auto module01 = [&](int number, int parameter, float value) { write01(getModule(number), parameter, value); };
    const int d = glo->getParaVal(set, G::gpDetune);
    if (d < 0)
        return; // already converted
    const double m = glo->getPara01(set, G::gpUnusedGenMix);
    const int s = glo->getParaVal(set, G::gpUnusedSpread);

    // 1. The old detune spreads the four slots' cents.
    const int c = (d >= 1 && d <= 19) ? 1 : d / 10;
    for (int k = 0; k < 4; ++k)
        write(glo, G::gpGenCent0 + k, (k & 1) ? -c : c);
    // 2. Mark the program converted; the second path and send are off.
    write(glo, G::gpDetune, -1);
    write(glo, G::gpVarOn0 + 1, 0);
    write(glo, G::gpEffOn1, 0);
    module01(70, 2, 0.0f);
    // 3. The old spread goes to the generators that mixed.
    const bool mix = glo->getParaVal(set, G::gpGen0Routing) == 0;
    if (mix) {
        module(52, 12, s);
        module(56, 9, s);
        module(60, 8, s);
    }
    module(53, 12, s);
    module(57, 9, s);
    module(61, 8, s);
    // 4. The old mix as two volumes.
    write(glo, G::gpGenVol0, mixLevel(1.0 - 0.999 * m));
    write(glo, G::gpGenVol0 + 1, mix ? mixLevel(0.999 * m) : 0);
    // 5. The first path follows its ladder filter's switch.
    if (Part_c* ladder = getModule(66))
        write(glo, G::gpVarOn0, ladder->getParaVal(set, 1));
    // 6. The old send effect moves into the serial chain.
    write(glo, G::gpEffXType0, glo->getParaVal(set, G::gpEffType0));
    sortXFx(set, 0);
    write(glo, G::gpEffXOn0, glo->getParaVal(set, G::gpEffOn0));
    write(glo, G::gpEffType0, 5);
    // 7. The old distortion's drive becomes the filter effect's.
    const int g = getModule(88) ? getModule(88)->getParaVal(set, 2) : 0;
    module(107, 4, g);
    write01(glo, G::gpFxWet0, 1.0f);
    if (g >= 1) {
        write(glo, G::gpEffOn0, 1);
        module01(107, 5, 1.0f);
        module01(107, 6, 0.0f);
        module01(107, 8, 0.0f);
    } else {
        write(glo, G::gpEffOn0, 0);
    }
    // 8, 9. Centred generator panners, long generator envelope releases.
    module01(80, 2, 0.0f);
    module01(81, 2, 0.0f);
    module01(44, 5, 1.0f);
    module01(45, 5, 1.0f);
    // 10. Velocity to volume as the old "DMVol" said.
    write01(glo, G::gpVelVol, glo->getParaOn(set, G::gpMidiVolume) ? 1.0f : 0.0f);
    write01(glo, G::gpVelF1Cut, 0.0f);
    write01(glo, G::gpVelF2Cut, 0.0f);
}

int Vela_c::codeD4T()
{
    // The folder listing is taken once and walked by position: a preset that
    // fails to load is skipped (and reported) instead of being overwritten
    // with the live program or holding the walk on itself.
    const Tool::Disk::Path_c first = getLastLoadedPreset(0);
    if (first.empty())
        return 0;
    std::vector<Tool::Disk::Path_c> files;
    Tool::Disk::listFilesWithExt(first.getParent(), Tool::Disk::Extension_c("fxp"), files, MaxResaveFiles);
    auto start = std::find_if(files.begin(), files.end(),
                              [&](const Tool::Disk::Path_c& p) { return std::string(p.c_str()) == first.c_str(); });
    if (start == files.end()) {
        files.assign(1, first);
        start = files.begin();
    }
    std::string failed;
    int failures = 0;
    for (auto it = start; it != files.end(); ++it) {
        const Tool::Disk::Path_c file = *it;
        if (importPatch(0, file) > 0) {
            exportPatch(0, file);
        } else {
            ++failures;
            failed += std::string(file.c_str()) + "\n";
        }
    }
    if (failures > 0)
        tellUserSafe("Re-save", ("These presets did not load and were left as they were:\n" + failed).c_str());
    return failures;
}

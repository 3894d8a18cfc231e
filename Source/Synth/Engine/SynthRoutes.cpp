// Synth: the route table's entries. The engine owns one AudioPatchBay_c bound
// to its module registry; the instrument definition registers its routes
// while the plug-in opens, a program change re-applies the conditional ones
// (doRoute) and a module starting a voice asks for its own (setRoute).
#include "Synth.h"

#include "PatchBay.h"

bool Synth::registerRoute(const char* name, int module, InBuffer2_c* out1, InBuffer2_c* out2, Part_c* control,
                          int param, int value)
{
    AudioPatchBay_c* bay = getPatchBay();
    return bay && bay->registerRoute(name, module, out1, out2, control, param, value);
}

bool Synth::registerRouteInd(const char* name, int module, int first, int last, InBuffer2_c* out1,
                             InBuffer2_c* out2, Part_c* control, int param, int value)
{
    AudioPatchBay_c* bay = getPatchBay();
    return bay && bay->registerRouteInd(name, module, first, last, out1, out2, control, param, value);
}

void Synth::doRoute(int ins)
{
    if (AudioPatchBay_c* bay = getPatchBay())
        bay->doRoute(ins);
}

void Synth::setRoute(Part_c* part, int ins)
{
    if (AudioPatchBay_c* bay = getPatchBay())
        bay->setRoute(part, ins);
}

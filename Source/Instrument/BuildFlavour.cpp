// The one file compiled per plug-in: TESSEL_BUILD_51 picks the 5.1 build (1)
// or the stereo build (0). Nothing else differs between the two.
#include "Vela.h"
#include "VstMain.h"

#include <new>

#ifndef TESSEL_BUILD_51
#error "TESSEL_BUILD_51 must be defined to 1 (5.1 build) or 0 (stereo build)"
#endif

AudioEffect* createEffectInstance(audioMasterCallback audioMaster)
{
    // The host calls this through a C entry: nothing may be thrown past it.
    // A constructor that throws has its memory released by the new
    // expression itself; the host gets no plug-in.
    Vela_c* vela = nullptr;
    try {
        vela = new (std::nothrow) Vela_c(audioMaster, TESSEL_BUILD_51 != 0);
    } catch (...) {
        return nullptr;
    }
    // A plug-in whose construction failed is never handed to the host.
    if (vela && !vela->isConstructed()) {
        delete vela;
        return nullptr;
    }
    return vela;
}

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
    Vela_c* vela = new (std::nothrow) Vela_c(audioMaster, TESSEL_BUILD_51 != 0);
    // A plug-in whose construction failed is never handed to the host.
    if (vela && !vela->isConstructed()) {
        delete vela;
        return nullptr;
    }
    return vela;
}

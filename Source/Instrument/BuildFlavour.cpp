// The one file compiled per plug-in: TESSEL_BUILD_51 picks the 5.1 build (1)
// or the stereo build (0). Nothing else differs between the two.
#include "Vela.h"
#include "VstMain.h"

#ifndef TESSEL_BUILD_51
#error "TESSEL_BUILD_51 must be defined to 1 (5.1 build) or 0 (stereo build)"
#endif

AudioEffect* createEffectInstance(audioMasterCallback audioMaster)
{
    return new Vela_c(audioMaster, TESSEL_BUILD_51 != 0);
}

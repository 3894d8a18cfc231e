#include "VstMain.h"

#include "AudioEffect.h"

#include <cstdio>
#include <exception>

AEffect* vstEntry(audioMasterCallback audioMaster, EffectFactory factory)
{
    if (!audioMaster || !factory)
        return nullptr;
    try {
        // A host that does not know its VST version is no VST 2 host.
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
            return nullptr;
        AudioEffect* effect = factory(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "VSTPluginMain: the plug-in could not be created: %s\n", ex.what());
    } catch (...) {
        std::fprintf(stderr, "VSTPluginMain: the plug-in could not be created (unknown exception)\n");
    }
    return nullptr;
}

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    return vstEntry(audioMaster, createEffectInstance);
}

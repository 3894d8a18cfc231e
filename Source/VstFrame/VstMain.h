// The plug-in entry: how VSTPluginMain turns a host callback into an AEffect.
#pragma once

#include "VstInterface.h"

class AudioEffect;

// Builds the product's plug-in object; defined once per build flavour.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

using EffectFactory = AudioEffect* (*)(audioMasterCallback audioMaster);

// What VSTPluginMain does, with the factory as a parameter: null when the
// host callback is missing or answers 0 to the version query, when the
// factory gives null, or when it throws (reported on stderr; no exception
// leaves this function).
AEffect* vstEntry(audioMasterCallback audioMaster, EffectFactory factory);

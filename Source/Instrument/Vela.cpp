#include "Vela.h"

#include "Capacities.h"

#include <algorithm>
#include <cstring>

namespace {

bool copyName(char* dest, const char* name)
{
    if (!dest)
        return false;
    std::strcpy(dest, name);
    return true;
}

} // namespace

Vela_c::Vela_c(audioMasterCallback audioMaster, bool is51Build)
    : AudioEffectX(audioMaster, NumPrograms, NumHostParameters), build51(is51Build)
{
    setNumInputs(0);
    setNumOutputs(is51Build ? NumOutputs51 : NumOutputsStereo);
    isSynth();
    programsAreChunks();
    canProcessReplacing();
    setUniqueID(is51Build ? UniqueId51 : UniqueIdStereo);
}

void Vela_c::processReplacing(float**, float** outputs, int32_t sampleFrames)
{
    if (!outputs || sampleFrames <= 0)
        return;
    for (int32_t i = 0; i < cEffect.numOutputs; ++i)
        if (outputs[i])
            std::fill(outputs[i], outputs[i] + sampleFrames, 0.0f);
}

int32_t Vela_c::processEvents(VstEvents*)
{
    return 1;
}

bool Vela_c::getEffectName(char* name)
{
    return copyName(name, ProductName);
}

bool Vela_c::getVendorString(char* text)
{
    return copyName(text, VendorName);
}

bool Vela_c::getProductString(char* text)
{
    return copyName(text, ProductName);
}

int32_t Vela_c::getVendorVersion()
{
    return VendorVersion;
}

int32_t Vela_c::canDo(char* text)
{
    if (!text)
        return 0;
    static const char* const yes[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                      "sendVstMidiEvent", "midiProgramNames"};
    for (const char* answer : yes)
        if (std::strcmp(text, answer) == 0)
            return 1;
    return -1;
}

int32_t Vela_c::getPlugCategory()
{
    return kPlugCategSynth;
}

bool Vela_c::getOutputProperties(int32_t index, VstPinProperties* properties)
{
    if (!properties)
        return false;
    auto setLabel = [properties](const char* label) {
        std::strncpy(properties->label, label, sizeof(properties->label) - 1);
        properties->label[sizeof(properties->label) - 1] = 0;
    };
    if (!build51) {
        // Any index is a stereo pin; only the real pair gets a name.
        properties->flags = kVstPinIsActive | kVstPinIsStereo;
        if (index == 0 || index == 1)
            setLabel(ProductName);
        return true;
    }
    if (index < 0 || index >= NumOutputs51)
        return false;
    static const char* const labels[NumOutputs51] = {"TsX3 L",  "TsX3 R",  "TsX3 C",
                                                     "TsX3 Lfe", "TsX3 LS", "TsX3 RS"};
    // Centre and LFE are single channels; the others form the front and rear pairs.
    const bool pairedChannel = index != 2 && index != 3;
    properties->flags = kVstPinIsActive | (pairedChannel ? kVstPinIsStereo : 0);
    setLabel(labels[index]);
    return true;
}

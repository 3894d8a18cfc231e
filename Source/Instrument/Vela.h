// Vela_c: the Tessel3 plug-in object. For now it is the product's identity
// and shape as the host sees it (counts, ids, flags, names, outputs) with a
// silent audio path; the engine grows underneath it later.
#pragma once

#include "AudioEffectX.h"

class Vela_c : public AudioEffectX
{
public:
    // is51Build: six outputs (L, R, C, Lfe, Ls, Rs) instead of two.
    Vela_c(audioMasterCallback audioMaster, bool is51Build);

    // Thread: audio. Writes silence into every output the host passed.
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
    // Thread: audio.
    int32_t processEvents(VstEvents* events) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32_t getVendorVersion() override;
    int32_t canDo(char* text) override;
    int32_t getPlugCategory() override;
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;

    bool is51Build() const { return build51; }

    static constexpr const char* ProductName = "Tessel3";
    static constexpr const char* VendorName = "Vendrax";
    // The version "3.6.5" as the host reads it.
    static constexpr int32_t VendorVersion = 3650;
    // Hosts find a plug-in again by these; they must never change.
    static constexpr int32_t UniqueId51 = vstFourCC('T', 's', 'x', '3');
    static constexpr int32_t UniqueIdStereo = vstFourCC('T', 's', 'y', '2');

private:
    const bool build51;
};

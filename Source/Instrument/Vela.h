// Vela_c: the Tessel3 plug-in object, the engine built from the product's
// construction figures. Until the instrument definition is complete it holds
// one instrument without voice modules, and renders the silent ±1e-7 block.
#pragma once

#include "Synth.h"

#include <memory>

class VelaInst_c;

class Vela_c : public Synth
{
public:
    // is51Build: six outputs (L, R, C, Lfe, Ls, Rs) instead of two.
    Vela_c(audioMasterCallback audioMaster, bool is51Build);
    ~Vela_c() override;

    // Thread: user interface. Nothing when already open.
    void open() override;
    // Probes the six pins of the 5.1 build: fewer than six connected falls
    // back to two outputs and stereo rendering. The stereo build always has
    // two. Thread: any, the audio thread included.
    void validateOutputs() override;
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
    // Registers the instrument's modules and hands the engine the instrument.
    virtual void initProcess();
    // The host parameter map: descriptors of the parameters the host sees.
    virtual void fillParameterMap();
    // The product's default controller assignments (channel 0, instrument 0).
    // Thread: user interface (resume).
    void initECS() override;

    bool is51Build() const { return build51; }
    // True while the 5.1 build renders six channels (all pins connected).
    bool renders51() const { return render51.load(); }
    VelaInst_c* getInstrument() const { return instrument.get(); }

    static constexpr const char* ProductName = "Tessel3";
    static constexpr const char* VendorName = "Vendrax";
    static constexpr const char* VersionText = "3.6.5";
    static constexpr const char* CodeName = "Vela";
    // Four-character ids accepted in preset files and chunks.
    static constexpr const char* AcceptedIds = "Tsx3,Tsy2";
    // The version "3.6.5" as the host reads it.
    static constexpr int32_t VendorVersion = 3650;
    // Hosts find a plug-in again by these; they must never change.
    static constexpr int32_t UniqueId51 = vstFourCC('T', 's', 'x', '3');
    static constexpr int32_t UniqueIdStereo = vstFourCC('T', 's', 'y', '2');

private:
    const bool build51;
    std::atomic<bool> render51;
    std::unique_ptr<VelaInst_c> instrument;
};

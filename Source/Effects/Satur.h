// Satur_c ("VD01"): the saturation stage at the head of each of a voice's two
// filter paths. It shapes the path's signal sample by sample with a soft clip
// whose hardness follows "Intense", before the path's filter runs on the same
// bus. It keeps no signal state.
//
// Threads: create and parameter definition while audio is stopped; note
// start and render on the audio thread; cachePara also on the thread that
// changed a parameter (it writes two floats with no lock, so a block may see
// a new numerator with an old offset).
#pragma once

#include "ParaRow.h"
#include "Variator.h"

#include <array>
#include <cmath>

// The parameter table that the saturator and the never-rendered distortion
// share; only the name of parameter 3 differs ("Unused" and "Type ").
namespace SaturParas {
enum Para_t : int { pVersion = 0, pOnOff = 1, pIntense = 2, pMode = 3 };
constexpr int ParaCount = 4;
// The rows of parameters 1..3 (the opening defines "Version").
std::array<ParaRow_s, 3> rows(const char* modeName);
// The scaled "Intense" (0.00..1.00) of the part's current set; 0 without a
// parameter set.
float intense(const Part_c& part);
} // namespace SaturParas

class Satur_c : public VariatorTone_c
{
public:
    using VariatorTone_c::getParaSetPtr;
    using VariatorTone_c::prepProc;
    using VariatorTone_c::render;

    Satur_c() = default;
    ~Satur_c() override;

    // While audio is stopped: binds (creating it when *shared is empty) the
    // class's set of 4 parameters and defines them once.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // Input 0 rests at the scaled "Intense"; all others at 0.
    float getModSampleDefault(int input) const override;
    // Any thread that changes a parameter, and the audio thread at note
    // start: a = sqrt(Intense), b = 1.001 - a. Tempo changes are ignored.
    void cachePara(CacheReason_t reason, int set, int idx) override;
    // Audio thread: n samples of the input bus through the soft clip,
    // overwritten in place when input and output are the same buffer, added
    // to the output otherwise. A bus without mono or stereo content is left
    // alone.
    void render(int n) override;

    // y = x (a / (|x| + b) + b), in double: a gain of 1.001 at "Intense" 0,
    // close to sign(x) at 1.00. Odd and monotonic.
    static float shape(float x, float a, float b)
    {
        const double xd = x;
        return static_cast<float>(xd * (a / (std::fabs(xd) + b) + b));
    }

    RelaxedAtomic_t<float> a{0.0f}; // soft-clip numerator
    RelaxedAtomic_t<float> b{1.0f}; // soft-clip offset

private:
    void renderMono(int n);
    void renderStereo(int n);
};

#include "DistSimp2.h"

#include "Satur.h"

namespace {

constexpr int DistTypeCode = ('V' << 24) | ('D' << 16) | ('0' << 8) | '1';

} // namespace

DistSimp2_c::~DistSimp2_c() = default;

bool DistSimp2_c::create(float* modA, float* modB)
{
    modInputA = modA;
    modInputB = modB;
    return true;
}

bool DistSimp2_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    const auto rows = SaturParas::rows("Type ");
    return defineParas(shared, nSets, SaturParas::ParaCount, rows.data(), static_cast<int>(rows.size()));
}

int DistSimp2_c::getTypeCode() const
{
    return DistTypeCode;
}

float DistSimp2_c::getModSampleDefault(int input) const
{
    return input == 0 ? SaturParas::intense(*this) : 0.0f;
}

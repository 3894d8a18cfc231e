#include "ParaDefinition.h"

#include <cmath>

ParaSpec_c::ParaSpec_c(const ParaSpec_c* src)
{
    if (src) {
        *this = *src;
        copiedFrom = src;
    }
}

void ParaSpec_c::def(const char* newName, const char* newUnit, ParaType_t newType, int newLo, int newHi,
                     int newDef, int newPrecision)
{
    name = newName;
    unit = newUnit;
    type = newType;
    lo = newLo;
    hi = newHi;
    defValue = newDef;
    precision = static_cast<int16_t>(newPrecision);
}

void ParaSpec_c::setPrecisionDivisors()
{
    if (precision < 0)
        precision = 0;
    if (precision > 8)
        precision = 8;
    // Computed in single precision like the stored divisors always were;
    // exact for every power up to 10^8.
    const float power = std::pow(10.0f, static_cast<float>(precision));
    divisor = static_cast<int32_t>(power + 0.5f);
}

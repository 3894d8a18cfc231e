#include "SafeDiv.h"

#include <climits>

namespace {
constexpr float FloatOnZero = 1e9f;
constexpr double DoubleOnZero = 999999999.9;
constexpr int IntOnZero = 999999999;

int intQuotient(int a, int b)
{
    if (b == 0)
        return IntOnZero;
    if (a == INT_MIN && b == -1)
        return INT_MAX;
    return a / b;
}
} // namespace

float so_fdiv(float a, float b)
{
    return b == 0.0f ? FloatOnZero : a / b;
}

double so_ddiv(double a, double b)
{
    return b == 0.0 ? DoubleOnZero : a / b;
}

int so_idiv(int a, int b)
{
    return intQuotient(a, b);
}

int so_ldiv(int a, int b)
{
    return intQuotient(a, b);
}

float so_fdivdef(float a, float b, float def)
{
    return so_fdiv(a, b == 0.0f ? def : b);
}

int so_ldivdef(int a, int b, int def)
{
    return intQuotient(a, b == 0 ? def : b);
}

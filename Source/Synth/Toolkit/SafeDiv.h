// Division that never faults. A zero divisor gives a huge stand-in quotient
// instead of a trap or an infinity: 1e9 for floats, 999999999.9 for doubles,
// 999999999 for ints. The `def` forms first fall back to a default divisor.
// The one int quotient outside the int range, INT_MIN / -1, saturates to
// INT_MAX.
#pragma once

float so_fdiv(float a, float b);
double so_ddiv(double a, double b);
int so_idiv(int a, int b);
int so_ldiv(int a, int b);
float so_fdivdef(float a, float b, float def);
int so_ldivdef(int a, int b, int def);

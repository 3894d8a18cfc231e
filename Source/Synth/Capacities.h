// Capacities of the system: counts and sizes that several files rely on live
// here, under the names the code uses, and nowhere else.
#pragma once

constexpr int MacAssertBufferSize = 1279; // bytes of the assertion reporter's line

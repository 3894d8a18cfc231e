#include "ToolMacAssert.h"

#include "Capacities.h"

#include <cstdio>
#include <cstring>

void MacAssert(char const* expression, char const* file, long line)
{
    char text[MacAssertBufferSize];
    int used = std::snprintf(text, sizeof text, "Assert: %s; in file: %s",
                             expression ? expression : "", file ? file : "");
    if (used < 0)
        return;
    if (static_cast<size_t>(used) >= sizeof text)
        used = static_cast<int>(sizeof text) - 1; // the text was cut
    else {
        char linePart[32];
        const int n = std::snprintf(linePart, sizeof linePart, "; line: %ld", line);
        if (n > 0 && static_cast<size_t>(used + n) < sizeof text) {
            std::memcpy(text + used, linePart, static_cast<size_t>(n) + 1);
            used += n;
        }
    }
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}

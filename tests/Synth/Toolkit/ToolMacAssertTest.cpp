#include "ToolMacAssert.h"

#include "Capacities.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string report(const char* expression, const char* file, long line)
{
    testing::internal::CaptureStderr();
    MacAssert(expression, file, line);
    return testing::internal::GetCapturedStderr();
}
} // namespace

TEST(ToolMacAssert, ReportsAndCarriesOn)
{
    // Returning here at all shows the reporter neither traps nor aborts.
    EXPECT_EQ(report("x > 0", "Source/Synth/Voice.cpp", 42),
              "Assert: x > 0; in file: Source/Synth/Voice.cpp; line: 42\n");
    EXPECT_EQ(report(nullptr, nullptr, -1), "Assert: ; in file: ; line: -1\n");
}

TEST(ToolMacAssert, LinePartOnlyWhenItFits)
{
    const std::string prefix = "Assert: ; in file: ";
    const size_t room = MacAssertBufferSize - 1; // bytes of text the buffer holds

    // The line part just fits.
    const std::string tail = "; line: 7";
    std::string file(room - prefix.size() - tail.size(), 'f');
    EXPECT_EQ(report("", file.c_str(), 7), prefix + file + tail + "\n");

    // One byte more and the line part is left out.
    file += 'f';
    EXPECT_EQ(report("", file.c_str(), 7), prefix + file + "\n");

    // A text longer than the buffer is cut to it.
    const std::string huge(5000, 'e');
    const std::string out = report(huge.c_str(), "f", 7);
    EXPECT_EQ(out.size(), room + 1);
    EXPECT_EQ(out.substr(0, 12), "Assert: eeee");
}

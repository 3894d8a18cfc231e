// The NRPN decoder: byte sequences per channel with their times, and the
// program and bank stepping that a decoded entry asks for.
#include "NRPN.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Msg
{
    int channel;
    int controller;
    int value;
    int64_t atMs;
};

struct Decoded
{
    int number;
    int value;
    bool operator==(const Decoded& o) const { return number == o.number && value == o.value; }
};

std::vector<Decoded> run(const std::vector<Msg>& messages)
{
    NRPN_c nrpn;
    std::vector<Decoded> out;
    for (const Msg& m : messages) {
        int controller = m.controller;
        int value = m.value;
        if (nrpn.decode(m.channel, &controller, &value, m.atMs))
            out.push_back({controller, value});
    }
    return out;
}

} // namespace

TEST(NRPNDecode, ByteSequences)
{
    struct Case
    {
        const char* what;
        std::vector<Msg> messages;
        std::vector<Decoded> expect;
    };
    const Case cases[] = {
        {"99 = 8, 98 = 0, then data 64 within a second", {{0, 99, 8, 0}, {0, 98, 0, 10}, {0, 6, 64, 500}},
         {{1024, 64}}},
        {"the data two seconds after the selection is an ordinary controller",
         {{0, 99, 8, 0}, {0, 98, 0, 0}, {0, 6, 64, 2000}},
         {}},
        {"after one entry the selection stays, untimed",
         {{0, 99, 8, 0}, {0, 98, 1, 0}, {0, 6, 70, 100}, {0, 6, 71, 5000}, {0, 6, 72, 99000}},
         {{1025, 70}, {1025, 71}, {1025, 72}}},
        {"data entry LSB adds the last MSB", {{3, 99, 0, 0}, {3, 98, 9, 0}, {3, 6, 2, 1}, {3, 38, 5, 2}},
         {{9, 2}, {9, 2 * 128 + 5}}},
        {"the LSB alone counts with a data MSB of 0", {{0, 99, 1, 0}, {0, 98, 0, 0}, {0, 38, 40, 1}}, {{128, 40}}},
        {"only the MSB selected", {{0, 99, 8, 0}, {0, 6, 64, 1}}, {}},
        {"a selection on another channel", {{1, 99, 8, 0}, {1, 98, 0, 0}, {2, 6, 64, 1}}, {}},
        {"channel 16 is no channel", {{16, 99, 8, 0}, {16, 98, 0, 0}, {16, 6, 64, 1}}, {}},
        {"RPN then NRPN: the NRPN selection takes the data",
         {{0, 101, 0, 0}, {0, 100, 0, 0}, {0, 99, 8, 1}, {0, 98, 2, 2}, {0, 6, 64, 3}},
         {{1026, 64}}},
        {"NRPN then RPN: the data is the RPN's (a bend range), never an NRPN",
         {{0, 99, 8, 0}, {0, 98, 0, 1}, {0, 101, 0, 2}, {0, 100, 0, 3}, {0, 6, 12, 4}},
         {}},
        {"an RPN after a used NRPN ends it too",
         {{0, 99, 8, 0}, {0, 98, 1, 0}, {0, 6, 64, 1}, {0, 100, 0, 2}, {0, 6, 64, 3}},
         {{1025, 64}}},
        {"other controllers pass", {{0, 99, 8, 0}, {0, 98, 0, 0}, {0, 7, 100, 1}, {0, 6, 64, 2}},
         {{1024, 64}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(c.messages), c.expect) << c.what;
}

TEST(NRPNDecode, OrdinaryControllersAreLeftAlone)
{
    NRPN_c nrpn;
    int controller = 7;
    int value = 99;
    EXPECT_FALSE(nrpn.decode(0, &controller, &value, 0));
    EXPECT_EQ(controller, 7);
    EXPECT_EQ(value, 99);
    EXPECT_FALSE(nrpn.decode(0, nullptr, &value, 0));
    EXPECT_FALSE(nrpn.decode(-1, &controller, &value, 0));
}

TEST(NRPNDecode, ResetForgetsEverySelection)
{
    NRPN_c nrpn;
    int c = 99, v = 8;
    nrpn.decode(0, &c, &v, 0);
    c = 98, v = 0;
    nrpn.decode(0, &c, &v, 0);
    nrpn.reset();
    c = 6, v = 64;
    EXPECT_FALSE(nrpn.decode(0, &c, &v, 1));
}

TEST(NRPNStep, ProgramAndBankStepping)
{
    struct Case
    {
        const char* what;
        int number, data, program, bank;
        bool expect;
        int command, target;
    };
    const Case cases[] = {
        {"program down", 1024, 64, 5, 3, true, 'M', 4},
        {"program up", 1025, 127, 5, 3, true, 'M', 6},
        {"value 63 does nothing", 1025, 63, 5, 3, false, 0, 0},
        {"bank down", 1026, 64, 5, 3, true, 'N', 2},
        {"bank up", 1027, 64, 5, 0, true, 'N', 1},
        {"bank down from bank 0 would ask for bank -1", 1026, 64, 5, 0, false, 0, 0},
        {"program down from program 0", 1024, 64, 0, 0, false, 0, 0},
        {"another number", 1028, 127, 5, 3, false, 0, 0},
    };
    for (const Case& c : cases) {
        int command = 0;
        int target = 0;
        EXPECT_EQ(NRPN_c::programStep(c.number, c.data, c.program, c.bank, &command, &target), c.expect) << c.what;
        if (c.expect) {
            EXPECT_EQ(command, c.command) << c.what;
            EXPECT_EQ(target, c.target) << c.what;
        }
    }
}

#include "Vela.h"
#include "VstMain.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

// A host that knows only its version; it remembers what it was asked.
intptr_t hostVersion = 2400;
std::vector<int32_t> hostOpcodes;
bool factoryCalled = false;

intptr_t fakeHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    hostOpcodes.push_back(opcode);
    return opcode == audioMasterVersion ? hostVersion : 0;
}

struct HostVersion
{
    explicit HostVersion(intptr_t version)
    {
        hostVersion = version;
        hostOpcodes.clear();
    }
    ~HostVersion() { hostVersion = 2400; }
};

} // namespace

TEST(Entry, RefusesAHostWithoutAVersion)
{
    HostVersion host(0);
    EXPECT_EQ(VSTPluginMain(fakeHost), nullptr);
    EXPECT_EQ(hostOpcodes, std::vector<int32_t>{audioMasterVersion});
    EXPECT_EQ(VSTPluginMain(nullptr), nullptr);
}

TEST(Entry, HandsAVst24HostTheStereoPlugin)
{
    HostVersion host(2400);
    AEffect* e = VSTPluginMain(fakeHost);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(hostOpcodes.front(), audioMasterVersion);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, vstFourCC('T', 's', 'y', '2'));
    EXPECT_EQ(e->numPrograms, 208);
    EXPECT_EQ(e->numParams, 602);
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags & (effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing),
              effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing);
    EXPECT_NE(e->processReplacing, nullptr);

    // A host's usual life: open, switch on, off, close. Close answers 1 and
    // deletes the object (the leak checker of the sanitizer build sees any rest).
    EXPECT_EQ(e->dispatcher(e, effOpen, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
}

TEST(Entry, FactoryMakesTheStereoBuildForTheTests)
{
    AudioEffect* effect = createEffectInstance(fakeHost);
    auto* vela = dynamic_cast<Vela_c*>(effect);
    ASSERT_NE(vela, nullptr);
    EXPECT_FALSE(vela->is51Build());
    AEffect* e = vela->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
}

TEST(Entry, FailedConstructionGivesNoPlugin)
{
    HostVersion host(2400);
    testing::internal::CaptureStderr();
    EXPECT_EQ(vstEntry(fakeHost, [](audioMasterCallback) -> AudioEffect* {
                  throw std::runtime_error("out of sample memory");
              }),
              nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("out of sample memory"), std::string::npos);

    testing::internal::CaptureStderr();
    EXPECT_EQ(vstEntry(fakeHost, [](audioMasterCallback) -> AudioEffect* { throw 3; }), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("VSTPluginMain"), std::string::npos);

    EXPECT_EQ(vstEntry(fakeHost, [](audioMasterCallback) -> AudioEffect* { return nullptr; }), nullptr);
    EXPECT_EQ(vstEntry(fakeHost, nullptr), nullptr);

    // The version is asked before anything is built.
    HostVersion old(0);
    factoryCalled = false;
    EXPECT_EQ(vstEntry(fakeHost, [](audioMasterCallback) -> AudioEffect* {
                  factoryCalled = true;
                  return nullptr;
              }),
              nullptr);
    EXPECT_FALSE(factoryCalled);
}

// Every module type's parameter definitions, walked through the rows a test
// engine registers (its own settings parts and one instance of each module
// type the instrument is built from):
//   - each defined parameter's default lies within its range;
//   - names and units fit the buffers hosts and displays read them into;
//   - an enumeration has an item of its width for every value in its range;
// and each type's default chunk of set 0 equals the one stored under
// tests/data/defaults/, so a changed definition cannot silently move what
// saved programs hold. TESSEL_WRITE_DEFAULTS=1 writes the files afresh (for a
// deliberate change: the difference then shows in review).
#include "Amplifier.h"
#include "Capacities.h"
#include "ChordMem.h"
#include "Chorus1.h"
#include "ConfigurableTestEngine.h"
#include "CrushX.h"
#include "Delay2.h"
#include "DelayPingPong.h"
#include "DelayStereo.h"
#include "DistSimp2.h"
#include "EQ2.h"
#include "Envelope.h"
#include "FilterFree.h"
#include "FilterMoogSI.h"
#include "Flanger2.h"
#include "Gator.h"
#include "GloFil.h"
#include "LFO.h"
#include "OscAnalog4.h"
#include "Panner.h"
#include "ParaDefinition.h"
#include "ParaSet.h"
#include "Phaser1S.h"
#include "RampGlide.h"
#include "RegMod.h"
#include "Reverb2.h"
#include "Satur.h"
#include "StepSeq.h"
#include "StereoEnh1.h"
#include "VelaGlo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ModuleType
{
    const char* label; // names the stored default chunk
    std::function<std::unique_ptr<Part_c>()> make;
};

template <class M, class... Args>
ModuleType type(const char* label, Args... args)
{
    return {label, [=] { return std::unique_ptr<Part_c>(std::make_unique<M>(args...)); }};
}

// One of each module type the instrument is built from.
const std::vector<ModuleType>& moduleTypes()
{
    static const std::vector<ModuleType> types = {
        type<Amp_c>("Amp"),
        type<Pan_c>("Pan"),
        type<Pan51_c>("Pan51", 1.0f),
        type<EnvADSFR_c>("EnvADSFR"),
        type<EnvDAD_c>("EnvDAD"),
        type<LFOSimp_c>("LFOSimp"),
        type<AdvLFO_c>("AdvLFO"),
        type<RampGlide_c>("RampGlide"),
        type<StepSeq_c>("StepSeq"),
        type<ChordMem_c>("ChordMem"),
        type<OscAnalog4_c>("OscAnalog4"),
        type<Satur_c>("Satur"),
        type<DistSimp2_c>("DistSimp2"),
        type<FilterFree_c>("FilterFree"),
        type<FilterMoogSI_c>("FilterMoogSI"),
        type<GloFil_c>("GloFil"),
        type<Phaser1S_c>("Phaser1S"),
        type<Chorus1_c>("Chorus1"),
        type<CrushX_c>("CrushX"),
        type<Delay2_c>("Delay2"),
        type<DelayStereo_c>("DelayStereo"),
        type<DelayPingPong_c>("DelayPingPong"),
        type<Flanger2_c>("Flanger2"),
        type<Reverb2_c>("Reverb2"),
        type<EQ2_c>("EQ2", 18),
        type<Gator_c>("Gator"),
        type<StereoEnh1_c>("StereoEnh1"),
        type<VelaGlo_c>("VelaGlo"),
    };
    return types;
}

// The configurable engine with one more row per module type.
class CatalogueEngine : public EngineTest::ConfigurableTestEngine
{
public:
    CatalogueEngine() : ConfigurableTestEngine({})
    {
        for (const ModuleType& t : moduleTypes())
            modules.push_back(t.make());
        open();
    }
    ~CatalogueEngine() override
    {
        if (isOpen())
            closeShutdown();
    }

    void open() override
    {
        if (isOpen())
            return;
        ConfigurableTestEngine::open();
        if (!isOpen())
            return;
        for (size_t i = 0; i < modules.size(); ++i) {
            int row = -1;
            EXPECT_TRUE(registerFirstModul(&row, modules[i].get(), 0, 1, rmgInstrument))
                << moduleTypes()[i].label;
            rows.push_back(row);
        }
    }

    std::vector<std::unique_ptr<Part_c>> modules;
    std::vector<int> rows; // the row of modules[i]
};

bool hasRange(ParaType_t t)
{
    switch (t) {
    case ptNumber:
    case ptEnu:
    case ptChannel:
    case ptNote:
    case ptVolume:
    case ptOnOff:
    case ptPan:
    case ptSel: return true;
    default: return false;
    }
}

std::string fourCCText(uint32_t code)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

// Names longer than the answer buffer: they show cut to its length. They stay,
// because hosts and stored automation know the parameters by them; any other
// name must fit.
struct LongName
{
    const char* type;
    int index;
};
constexpr LongName KnownLongNames[] = {
    {"SYG0", 19},  // "Version string to display"
    {"SYG2", 123}, // "Import Sampler 0 SF2 Path"
    {"SYG2", 124}, // "Import Sampler 1 SF2 Path"
    {"VCX1", 10},  // "Auto Volume compensation"
};

bool knownLongName(uint32_t typeCode, int index)
{
    for (const LongName& n : KnownLongNames)
        if (fourCCText(typeCode) == n.type && n.index == index)
            return true;
    return false;
}

// Every definition of set 0 of one row, against the invariants.
void checkDefinitions(const ParaSet_c& set, uint32_t typeCode, const std::string& who)
{
    const Parameter_c* p = set.getParaPtr(0);
    ASSERT_NE(p, nullptr) << who;
    int defined = 0;
    for (int i = 0; i < set.getParaCount(); ++i) {
        const ParaSpec_c* s = p[i].getParaSpecPtr();
        if (!s || s->type == ptUndefined)
            continue;
        ++defined;
        SCOPED_TRACE(who + " parameter " + std::to_string(i) + " \"" + (s->name ? s->name : "") + "\"");
        ASSERT_NE(s->name, nullptr);
        if (!knownLongName(typeCode, i)) {
            EXPECT_LT(std::strlen(s->name), static_cast<size_t>(ParaNameBufferBytes)) << "name fits";
        }
        if (s->unit) {
            EXPECT_LT(std::strlen(s->unit), static_cast<size_t>(ParaNameBufferBytes)) << "unit fits";
        }
        if (hasRange(s->type)) {
            EXPECT_LE(s->lo, s->defValue);
            EXPECT_LE(s->defValue, s->hi);
        }
        if (s->type == ptEnu || s->type == ptOnOff) {
            ASSERT_NE(s->items, nullptr);
            EXPECT_GE(s->precision, 1);
            EXPECT_LT(s->precision, EnuItemWidthLimit);
            // The highest value's item starts inside the text.
            const long long lastOffset = (static_cast<long long>(s->hi) - s->lo) * s->precision;
            EXPECT_LT(lastOffset, static_cast<long long>(std::strlen(s->items))) << "an item for every value";
        }
    }
    EXPECT_GT(defined, 0) << who;
}

std::string chunkText(const ParaSet_c& set)
{
    const int bytes = set.getChunkSize(0);
    std::vector<int> words(static_cast<size_t>(bytes + 3) / 4 + 1, 0);
    const int written = set.getChunk(words.data(), 0);
    std::ostringstream out;
    out << "bytes " << written << "\n";
    for (int w = 0; w * 4 < written; ++w) {
        char hex[12];
        std::snprintf(hex, sizeof hex, "%08x", static_cast<uint32_t>(words[static_cast<size_t>(w)]));
        out << hex << ((w % 8 == 7 || (w + 1) * 4 >= written) ? "\n" : " ");
    }
    return out.str();
}

std::string defaultsPath(const std::string& label)
{
    return std::string(TESSEL_TEST_DATA_DIR) + "/defaults/" + label + ".chunk";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(ModuleDefinitions, EveryRegisteredRowKeepsTheInvariants)
{
    CatalogueEngine engine;
    ASSERT_TRUE(engine.isOpen());
    int walked = 0;
    for (int row = 0; row < engine.getRegModCount(); ++row) {
        const RegMod_t* r = engine.getRegMod(row);
        if (!r || !r->inUse() || !r->paraSet)
            continue;
        checkDefinitions(*r->paraSet, r->typeCode, "row " + std::to_string(row) + " '" + fourCCText(r->typeCode) + "'");
        ++walked;
    }
    // The settings parts, the test modules and every module type.
    EXPECT_GE(walked, static_cast<int>(moduleTypes().size()) + 3);
}

TEST(ModuleDefinitions, DefaultChunksMatchTheStoredOnes)
{
    CatalogueEngine engine;
    ASSERT_TRUE(engine.isOpen());
    const bool write = std::getenv("TESSEL_WRITE_DEFAULTS") != nullptr;
    for (size_t i = 0; i < engine.modules.size(); ++i) {
        const std::string label = moduleTypes()[i].label;
        SCOPED_TRACE(label);
        const RegMod_t* r = engine.getRegMod(engine.rows[i]);
        ASSERT_TRUE(r && r->paraSet);
        const std::string now = chunkText(*r->paraSet);
        if (write) {
            std::ofstream(defaultsPath(label), std::ios::binary | std::ios::trunc) << now;
            continue;
        }
        const std::string stored = readFile(defaultsPath(label));
        ASSERT_FALSE(stored.empty()) << "no stored chunk at " << defaultsPath(label)
                                     << " (TESSEL_WRITE_DEFAULTS=1 writes it)";
        EXPECT_EQ(now, stored);
    }
}

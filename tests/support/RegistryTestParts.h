// Modules for the registry, route and parameter-map tests: a part with a
// numeric parameter set of its own class that records what the engine asks
// of it.
#pragma once

#include "InBuffer2.h"
#include "Part.h"

#include <string>
#include <vector>

namespace RegistryTest {

constexpr int fourCC(char a, char b, char c, char d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// nSets sets of paraCount parameters: "Version", then numbers 0..100
// (default 10) named "P1", "P2", ..., each with the unit "u". Instances of one
// class share the set through the slot given to getParaSetPtr.
class TestModule : public Part_c
{
public:
    explicit TestModule(int code = fourCC('T', 'M', 'O', 'D'), int paraCount = 8)
        : code(code), paraCount(paraCount)
    {
    }
    using Part_c::getParaSetPtr;

    int getTypeCode() const override { return code; }

    bool getParaSetPtr(ParaSet_c** shared, int nSets) override
    {
        ++setRequests;
        bool defined = false;
        Parameter_c* p = beginParaDefinition(shared, nSets, paraCount, &defined);
        if (!p)
            return defined;
        for (int i = 1; i < paraCount; ++i)
            p[i].createNum(name(i), "u", 0.0f, 0, 100, 0, 10, 0);
        return paraSet->spreadPara();
    }
    // "P<i>": parameter names must outlive the definition.
    static const char* name(int i)
    {
        static const std::vector<std::string> names = [] {
            std::vector<std::string> v;
            for (int k = 0; k < 256; ++k)
                v.push_back("P" + std::to_string(k));
            return v;
        }();
        return names[static_cast<size_t>(i) % names.size()].c_str();
    }
    bool getParaSetPtr(ParaSet_c** shared) override { return getParaSetPtr(shared, 1); }

    void create(Synth* s, NoteFreqTable_c* tuningTable) override
    {
        ++creates;
        Part_c::create(s, tuningTable);
    }
    void setSampleRate(float rate) override
    {
        lastRate = rate;
        Part_c::setSampleRate(rate);
    }
    void cachePara(CacheReason_t reason, int set, int idx) override
    {
        caches.push_back({reason, set, idx});
    }

    struct Cache
    {
        CacheReason_t reason;
        int set;
        int idx;
        bool operator==(const Cache&) const = default;
    };

    const int code;
    const int paraCount;
    int setRequests = 0;
    int creates = 0;
    float lastRate = 0.0f;
    std::vector<Cache> caches;
};

} // namespace RegistryTest

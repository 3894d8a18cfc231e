// The preferences file is outside data: another program, a crash of an old
// version or the user's editor may have left anything in it. Reading it must
// never misbehave, and a store on top of it must leave a file that reads back.
#include "OsLib.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string fuzzFolder;

void removeFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(fuzzFolder, ec);
}

std::string prefsFile()
{
    static const std::string file = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-fuzz-prefs-XXXXXX";
        if (!mkdtemp(folder.data()))
            std::abort();
        fuzzFolder = folder;
        std::atexit(removeFolder);
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        mkdir((folder + "/Vendrax").c_str(), 0775);
        return OsLib_c::getPreferencesFile();
    }();
    return file;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = prefsFile();
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f)
        std::abort();
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    // Keys the input is likely to name: a fixed few and its own first bytes.
    const std::string own(reinterpret_cast<const char*>(data), size < 12 ? size : 12);
    for (const std::string& key : {std::string("a"), std::string("k"), own}) {
        Vdx::String_c text;
        OsLib_c::recallStringCore(key, &text);
        int number = 0;
        OsLib_c::recallLong(key, &number);
        void* block = nullptr;
        int n = 0;
        if (OsLib_c::recallChunk(key, &block, &n))
            std::free(block);
    }
    (void)OsLib_c::getDoubleClickTreshold();

    if (!OsLib_c::remindLong("fuzz", 7))
        std::abort();
    int back = 0;
    if (!OsLib_c::recallLong("fuzz", &back) || back != 7)
        std::abort();
    if (!own.empty() && OsLib_c::remindStringCore(own, own)) {
        Vdx::String_c text;
        if (!OsLib_c::recallStringCore(own, &text) || text != own)
            std::abort();
    }
    return 0;
}

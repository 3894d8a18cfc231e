#include "ModuleManager.h"

#include "ModuleManagerDoubles.h"
#include "OsLib.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace ModuleTest;
using TestSupport::ScopedEnv;
using TestSupport::TempDir;

namespace {

std::string bytesOf(const std::vector<int32_t>& words, size_t bytes)
{
    return std::string(reinterpret_cast<const char*>(words.data()), bytes);
}

std::vector<int32_t> chunkWords(Part_c& part, int set)
{
    std::vector<int32_t> words(static_cast<size_t>(part.getChunkSize(set)) / 4);
    part.getChunk(words.data(), set);
    return words;
}

// The chunk of the set as the bytes a module file holds.
std::string chunkBytes(Part_c& part, int set)
{
    const std::vector<int32_t> words = chunkWords(part, set);
    return bytesOf(words, words.size() * 4);
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A manager whose file writes stop half-way, as on a full disk.
class FailingWriterManager : public ModuleManager_c
{
public:
    using ModuleManager_c::ModuleManager_c;

protected:
    size_t writeBytes(std::FILE* file, const void* data, size_t n) override
    {
        return ModuleManager_c::writeBytes(file, data, n / 2);
    }
};

class ModuleManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::memset(Synth::CopyBuffer0, 0, sizeof Synth::CopyBuffer0);
        std::memset(Synth::CopyBuffer1, 0, sizeof Synth::CopyBuffer1);
        // Dialogs answer with chosenPath (empty: cancelled) and are counted.
        FileDialog_c::setPanelRunner([this](const std::vector<std::string>& arguments) {
            dialogArguments = arguments;
            ++dialogs;
            return FileDialog_c::PanelAnswer{!chosenPath.empty(), chosenPath};
        });
        OsLib_c::setPanelHook([this](const std::string& title, const std::string& message, bool) {
            panels.push_back(title + ": " + message);
            return true;
        });
    }
    void TearDown() override
    {
        FileDialog_c::setPanelRunner(nullptr);
        OsLib_c::setPanelHook(nullptr);
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.path().c_str()};
    ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    std::string chosenPath;
    std::vector<std::string> dialogArguments;
    int dialogs = 0;
    std::vector<std::string> panels;
};

} // namespace

// ---------------------------------------------------------------------------
// Clipboards

TEST_F(ModuleManagerTest, CopyInOneInstancePasteInAnotherWithBothClipboards)
{
    Instance first;
    Instance second;
    first.moduleA.setState(0, 11, "one");
    first.moduleA.setState(1, 22, "two");
    first.manager.handlePartFileIO(&first.moduleA, 0, tpfioCopy1, "Oscillator");
    first.manager.handlePartFileIO(&first.moduleA, 1, tpfioCopy2, "Oscillator");

    second.manager.handlePartFileIO(&second.moduleA, 1, tpfioPaste2, "Oscillator");
    EXPECT_EQ(second.moduleA.level(1), 22);
    EXPECT_EQ(second.moduleA.name(1), "two");
    second.manager.handlePartFileIO(&second.moduleA, 0, tpfioPaste1, "Oscillator");
    EXPECT_EQ(second.moduleA.level(0), 11);
    EXPECT_EQ(second.moduleA.name(0), "one");
    EXPECT_EQ(second.moduleA.wholeSetChanges, 2);
    EXPECT_EQ(second.synth.log, (CallLog{"makeSure 1", "updateEditor", "makeSure 0", "updateEditor"}));
    EXPECT_EQ(dialogs, 0);
    // The copying instance's engine was not asked for anything.
    EXPECT_TRUE(first.synth.log.empty());
}

TEST_F(ModuleManagerTest, PasteIntoAnotherModuleTypeChangesNothingButRefreshesTheEditor)
{
    Instance instance;
    instance.moduleA.setState(0, 77, "a");
    instance.moduleB.setState(0, 33, "b");
    instance.manager.handlePartFileIO(&instance.moduleA, 0, tpfioCopy1, "A");
    instance.manager.handlePartFileIO(&instance.moduleB, 0, tpfioPaste1, "B");
    EXPECT_EQ(instance.moduleB.level(0), 33);
    EXPECT_EQ(instance.moduleB.name(0), "b");
    EXPECT_EQ(instance.synth.log, (CallLog{"updateEditor"}));
    EXPECT_FALSE(instance.manager.pasteModule(&instance.moduleB, 0));
}

TEST_F(ModuleManagerTest, ClipboardTakesChunksUpTo16383Bytes)
{
    struct Case
    {
        int chunkBytes;
        bool copied;
    };
    for (const Case c : {Case{16380, true}, Case{16384, false}, Case{32, true}}) {
        SCOPED_TRACE(c.chunkBytes);
        std::memset(Synth::CopyBuffer0, 0, sizeof Synth::CopyBuffer0);
        Instance instance;
        instance.moduleA.setState(0, 5, std::string(nameLengthForChunk(c.chunkBytes), 'n'));
        ASSERT_EQ(instance.moduleA.getChunkSize(0), c.chunkBytes);
        EXPECT_EQ(instance.manager.copyModule(&instance.moduleA, 0), c.copied);
        EXPECT_EQ(instance.manager.pasteModule(&instance.moduleA, 1), c.copied);
        EXPECT_EQ(instance.moduleA.level(1), c.copied ? 5 : 50);
    }
}

TEST_F(ModuleManagerTest, DamagedClipboardIsNotPasted)
{
    Instance instance;
    instance.moduleA.setState(0, 9, "x");
    ASSERT_TRUE(instance.manager.copyModule(&instance.moduleA, 0));
    int32_t size = 0;
    std::memcpy(&size, Synth::CopyBuffer0 + 4, 4);
    for (int32_t word : {0, 11, 13, 16388, -16}) {
        SCOPED_TRACE(word);
        std::memcpy(Synth::CopyBuffer0 + 4, &word, 4);
        EXPECT_FALSE(instance.manager.pasteModule(&instance.moduleA, 1));
        EXPECT_EQ(instance.moduleA.level(1), 50);
    }
    std::memcpy(Synth::CopyBuffer0 + 4, &size, 4);
    EXPECT_TRUE(instance.manager.pasteModule(&instance.moduleA, 1));
    EXPECT_EQ(instance.moduleA.level(1), 9);
}

TEST_F(ModuleManagerTest, ActionsWithoutAPartOrSetAndActionSevenDoNothing)
{
    Instance instance;
    instance.moduleA.setState(0, 12, "kept");
    instance.manager.handlePartFileIO(&instance.moduleA, 0, static_cast<tpfioMode>(7), "Oscillator");
    instance.manager.handlePartFileIO(nullptr, 0, tpfioLoad, "Oscillator");
    instance.manager.handlePartFileIO(&instance.moduleA, 0, tpfioLoad, nullptr);
    instance.manager.handleGroupFileIO(nullptr, 0, tpfioLoad, "Group");
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(instance.synth.log.empty());
    EXPECT_EQ(instance.moduleA.level(0), 12);
    // Set 5 does not exist in a two-set class.
    EXPECT_FALSE(instance.manager.copyModule(&instance.moduleA, 5));
    EXPECT_FALSE(instance.manager.pasteModule(&instance.moduleA, 5));
}

TEST_F(ModuleManagerTest, ResetActionRestoresDefaultsAndRefreshes)
{
    Instance instance;
    instance.moduleA.setState(1, 3, "gone");
    instance.moduleA.setState(0, 4, "stays");
    instance.manager.handlePartFileIO(&instance.moduleA, 1, tpfioReset, "Oscillator");
    EXPECT_EQ(instance.moduleA.level(1), 50);
    EXPECT_EQ(instance.moduleA.name(1), "");
    EXPECT_EQ(instance.moduleA.level(0), 4);
    EXPECT_EQ(instance.synth.log, (CallLog{"updateEditor"}));
}

// ---------------------------------------------------------------------------
// Module files

TEST_F(ModuleManagerTest, SavedModuleLoadsIntoAnotherInstanceThroughTheDialogs)
{
    Instance first;
    Instance second;
    first.moduleA.setState(1, 66, "saved");
    chosenPath = dir.file("Lead.MOD");
    first.manager.handlePartFileIO(&first.moduleA, 1, tpfioSave, "Oscillator");
    // The dialog waits on the panel thread; the idle round that gets its
    // answer writes the file.
    ASSERT_TRUE(TestSupport::answerPanels(first.synth.getPanels()));
    EXPECT_EQ(TestSupport::readFile(chosenPath), chunkBytes(first.moduleA, 1));
    EXPECT_EQ(first.synth.log, (CallLog{"checkRegForModPath Oscillator"}));
    EXPECT_STREQ(first.manager.getFileDialog().getRegKey(), "Tessel3_MOD_Oscillator");
    EXPECT_NE(std::find(dialogArguments.begin(), dialogArguments.end(), "--title=Oscillator Module Parameters"),
              dialogArguments.end());

    second.manager.handlePartFileIO(&second.moduleA, 1, tpfioLoad, "Oscillator");
    EXPECT_EQ(second.moduleA.level(1), 50) << "nothing is read before the answer";
    ASSERT_TRUE(TestSupport::answerPanels(second.synth.getPanels()));
    EXPECT_EQ(second.moduleA.level(1), 66);
    EXPECT_EQ(second.moduleA.name(1), "saved");
    EXPECT_EQ(second.moduleA.level(0), 50);
    // MIDI off and the voices stopped before the parameters change.
    EXPECT_EQ(second.synth.log,
              (CallLog{"checkRegForModPath Oscillator", "ReceiveMIDI off", "hardNoteOff 1", "doValueCopy -1",
                       "makeSure 1", "ReceiveMIDI on", "updateEditor"}));
    EXPECT_EQ(second.moduleA.wholeSetChanges, 1);
    EXPECT_TRUE(panels.empty());
}

TEST_F(ModuleManagerTest, ModuleFileWithABadHeaderIsRefusedWhole)
{
    Instance source;
    source.moduleA.setState(0, 1, "abc");
    const std::vector<int32_t> good = chunkWords(source.moduleA, 0);
    const int32_t bytes = static_cast<int32_t>(good.size() * 4);
    struct Case
    {
        const char* what;
        int word;     // which word to change
        int32_t value;
        size_t fileBytes;
    };
    const Case cases[] = {
        {"size word 0", 1, 0, good.size() * 4},
        {"size word 11", 1, 11, good.size() * 4},
        {"size word not a multiple of 4", 1, bytes - 2, good.size() * 4},
        {"size word beyond the file", 1, bytes + 4, good.size() * 4},
        {"size word far beyond the file", 1, 0x7FFFFFF0, good.size() * 4},
        {"size word negative", 1, -bytes, good.size() * 4},
        {"type code of another module", 0, CodeB, good.size() * 4},
        {"file shorter than a header", 1, bytes, 8},
        {"empty file", 1, bytes, 0},
    };
    Instance target;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int32_t> words = good;
        words[static_cast<size_t>(c.word)] = c.value;
        TestSupport::writeFile(dir.file("bad.MOD"), bytesOf(words, c.fileBytes));
        Tool::Disk::Path_c path(dir.file("bad.MOD").c_str());
        target.synth.log.clear();
        EXPECT_FALSE(target.manager.importModule(&target.moduleA, path, 0));
        EXPECT_EQ(target.moduleA.level(0), 50);
        EXPECT_EQ(target.moduleA.name(0), "");
        // Refused before anything happens: MIDI stays on, notes play on.
        EXPECT_TRUE(target.synth.log.empty());
    }
}

TEST_F(ModuleManagerTest, ImportChecksPathInstrumentAndSet)
{
    Instance source;
    source.moduleA.setState(0, 7, "z");
    std::vector<int32_t> words = chunkWords(source.moduleA, 0);
    // Bytes after the chunk do not matter: the size word may be below the file size.
    words.push_back(0x01020304);
    TestSupport::writeFile(dir.file("m.MOD"), bytesOf(words, words.size() * 4));
    Tool::Disk::Path_c path(dir.file("m.MOD").c_str());
    Tool::Disk::Path_c missing(dir.file("missing.MOD").c_str());
    Tool::Disk::Path_c empty;
    Instance target;
    EXPECT_FALSE(target.manager.importModule(&target.moduleA, empty, 0));
    EXPECT_FALSE(target.manager.importModule(&target.moduleA, missing, 0));
    EXPECT_FALSE(target.manager.importModule(&target.moduleA, path, 2)); // no instrument 2
    EXPECT_FALSE(target.manager.importModule(&target.moduleA, path, -1));
    EXPECT_FALSE(target.manager.importModule(nullptr, path, 0));
    EXPECT_EQ(target.moduleA.level(0), 50);
    EXPECT_TRUE(target.manager.importModule(&target.moduleA, path, 0));
    EXPECT_EQ(target.moduleA.level(0), 7);
}

TEST_F(ModuleManagerTest, FailedSaveLeavesTheOldFileAndTellsTheUser)
{
    Instance instance;
    FailingWriterManager failing(&instance.synth, nullptr, Synth::CopyBuffer0, Synth::CopyBuffer1);
    instance.moduleA.setState(0, 42, "new");
    const std::string target = dir.file("Keep.MOD");
    TestSupport::writeFile(target, "old contents");
    Tool::Disk::Path_c path(target.c_str());

    EXPECT_FALSE(failing.exportModule(&instance.moduleA, path, 0));
    EXPECT_EQ(TestSupport::readFile(target), "old contents");
    Part_c* group[] = {&instance.moduleA, &instance.moduleB, nullptr};
    EXPECT_FALSE(failing.exportGroup(group, path, 0));
    EXPECT_EQ(TestSupport::readFile(target), "old contents");

    chosenPath = target;
    failing.handlePartFileIO(&instance.moduleA, 0, tpfioSave, "Oscillator");
    ASSERT_TRUE(TestSupport::answerPanels(instance.synth.getPanels()));
    EXPECT_EQ(TestSupport::readFile(target), "old contents");
    // Queued for the idle round, which hands it to the panel thread.
    EXPECT_TRUE(panels.empty());
    instance.synth.drainGUICmds();
    ASSERT_TRUE(instance.synth.getPanels().waitShown(5000));
    EXPECT_EQ(panels, (std::vector<std::string>{"File Error - Save failed: " + target}));
    // No temporary file is left behind.
    const std::vector<std::string> names = filesIn(dir.path());
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("Keep", 0) == 0; }),
              1);

    // A save that works replaces the old file whole.
    EXPECT_TRUE(instance.manager.exportModule(&instance.moduleA, path, 0));
    EXPECT_EQ(TestSupport::readFile(target), chunkBytes(instance.moduleA, 0));
    // A folder that does not exist cannot be written.
    Tool::Disk::Path_c nowhere(dir.file("no/such/folder/x.MOD").c_str());
    EXPECT_FALSE(instance.manager.exportModule(&instance.moduleA, nowhere, 0));
}

TEST_F(ModuleManagerTest, ExportUsesItsOwnBufferNotTheEnginesChunkBuffer)
{
    std::vector<unsigned char> engineChunkBuffer(4096, 0xAB);
    Instance instance;
    ModuleManager_c manager(&instance.synth, engineChunkBuffer.data(), Synth::CopyBuffer0, Synth::CopyBuffer1);
    instance.moduleA.setState(0, 3, "abc");
    Tool::Disk::Path_c path(dir.file("own.MOD").c_str());
    ASSERT_TRUE(manager.exportModule(&instance.moduleA, path, 0));
    EXPECT_TRUE(std::all_of(engineChunkBuffer.begin(), engineChunkBuffer.end(), [](unsigned char b) { return b == 0xAB; }));
}

// ---------------------------------------------------------------------------
// Groups

TEST_F(ModuleManagerTest, GroupFileRoundTripAndTruncatedGroupFile)
{
    Instance source;
    source.moduleA.setState(1, 10, "first");
    source.moduleB.setState(1, 20, "second");
    Part_c* sourceGroup[] = {&source.moduleA, &source.moduleB, nullptr};
    Tool::Disk::Path_c path(dir.file("g.MGP").c_str());
    ASSERT_TRUE(source.manager.exportGroup(sourceGroup, path, 1));

    Instance target;
    Part_c* targetGroup[] = {&target.moduleA, &target.moduleB, nullptr};
    EXPECT_TRUE(target.manager.importGroup(targetGroup, path, 1));
    EXPECT_EQ(target.moduleA.level(1), 10);
    EXPECT_EQ(target.moduleB.name(1), "second");
    EXPECT_EQ(target.synth.log.front(), "ReceiveMIDI off");
    EXPECT_EQ(target.synth.log.back(), "ReceiveMIDI on");

    // The second chunk's size word points past the end of a cut file: the
    // first module loads, the second stays as it was, and the result is false.
    const std::string whole = TestSupport::readFile(dir.file("g.MGP"));
    TestSupport::writeFile(dir.file("cut.MGP"), whole.substr(0, whole.size() - 4));
    Instance cut;
    Part_c* cutGroup[] = {&cut.moduleA, &cut.moduleB, nullptr};
    Tool::Disk::Path_c cutPath(dir.file("cut.MGP").c_str());
    EXPECT_FALSE(cut.manager.importGroup(cutGroup, cutPath, 1));
    EXPECT_EQ(cut.moduleA.level(1), 10);
    EXPECT_EQ(cut.moduleB.level(1), 50);
    Part_c* emptyGroup[] = {nullptr};
    EXPECT_FALSE(cut.manager.importGroup(emptyGroup, path, 1));
    EXPECT_FALSE(cut.manager.exportGroup(emptyGroup, path, 1));
}

TEST_F(ModuleManagerTest, GroupCopyPasteAcrossInstancesAndItsLimits)
{
    Instance first;
    Instance second;
    first.moduleA.setState(0, 1, "a");
    first.moduleB.setState(0, 2, "b");
    Part_c* group[] = {&first.moduleA, &first.moduleB, nullptr};
    ASSERT_TRUE(first.manager.copyGroup(group, 0));
    Part_c* target[] = {&second.moduleA, &second.moduleB, nullptr};
    EXPECT_TRUE(second.manager.pasteGroup(target, 0));
    EXPECT_EQ(second.moduleA.level(0), 1);
    EXPECT_EQ(second.moduleB.level(0), 2);
    EXPECT_EQ(second.synth.log, (CallLog{"makeSure 0", "makeSure 0"}));

    // The list in another order: the first type does not match, nothing pasted.
    Part_c* swapped[] = {&second.moduleB, &second.moduleA, nullptr};
    EXPECT_FALSE(second.manager.pasteGroup(swapped, 1));
    EXPECT_EQ(second.moduleB.level(1), 50);

    // Over 12287 bytes the group is not copied and clipboard 1 is left empty.
    const int rest = first.moduleB.getChunkSize(0);
    first.moduleA.setState(0, 1, std::string(nameLengthForChunk(12288 - rest), 'x'));
    EXPECT_EQ(first.moduleA.getChunkSize(0) + first.moduleB.getChunkSize(0), 12288);
    EXPECT_FALSE(first.manager.copyGroup(group, 0));
    EXPECT_FALSE(second.manager.pasteGroup(target, 0));
    first.moduleA.setState(0, 1, std::string(nameLengthForChunk(12284 - rest), 'x'));
    EXPECT_TRUE(first.manager.copyGroup(group, 0));

    EXPECT_TRUE(second.manager.resetGroup(target, 0));
    EXPECT_EQ(second.moduleA.level(0), 50);
    Part_c* withoutSet[] = {&second.moduleA, nullptr};
    EXPECT_FALSE(second.manager.resetGroup(withoutSet, 7));
}

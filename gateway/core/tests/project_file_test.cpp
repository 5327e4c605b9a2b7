// The project file on disk: what a save writes, what a load restores, and
// what happens with files that are missing, cut short, damaged or foreign,
// and with saves that cannot complete.
#include "scratch_dir.h"

#include "log_printf.h"
#include "manager.h"

#include <boost/archive/binary_oarchive.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>

namespace {

const char kPumpStation[] = "\xB1\xC3\xD5\xBE"; // GBK text, stored as it is

// Two projects with a selection, a renamed and an ungrouped device, last
// values and credentials.
void FillSample(CManager &manager)
{
    manager.SetUserName("operator");
    manager.SetPassword("pa55");
    manager.SetDeptId("42");
    manager.SetSessionId("not saved");

    CProject *first = new CProject;
    first->projectId = "P-1";
    first->projectName = kPumpStation;
    CDevice *pump = first->AddDevice("D1", "Pump", "SN-1");
    CVariant *flow = pump->AddVariant("V1", "Flow", "float32");
    pump->AddVariant("V2", "Level", "int16");
    CDevice *valve = first->AddDevice("D2", "Valve", "SN-2");
    CVariant *open = valve->AddVariant("V5", "Open", "bool");
    manager.AddProject(first);

    CProject *second = new CProject;
    second->projectId = "P-2";
    second->projectName = "North";
    CDevice *tank = second->AddDevice("D3", "Tank", "SN-3");
    CVariant *temp = tank->AddVariant("V9", "Temp", "double");
    manager.AddProject(second);

    ASSERT_TRUE(manager.SetGroupName("Line1", *valve));
    ASSERT_TRUE(manager.SetGroupName("", *tank));
    flow->checked = open->checked = temp->checked = true;
    pump->ApplySelection();
    valve->ApplySelection();
    tank->ApplySelection();
    manager.RebuildIndex();
    manager.UpdateValue("D1:V1", "1", "3.5");
    manager.UpdateValue("D3:V9", "1", "21");
}

void ExpectSameVariant(const CVariant &expected, const CVariant &actual)
{
    EXPECT_EQ(expected.key, actual.key);
    EXPECT_EQ(expected.variantId, actual.variantId);
    EXPECT_EQ(expected.itemId, actual.itemId);
    EXPECT_EQ(expected.name, actual.name);
    EXPECT_EQ(expected.typeName, actual.typeName);
    EXPECT_EQ(expected.value, actual.value);
    EXPECT_EQ(expected.valid, actual.valid);
    EXPECT_EQ(expected.typeCode, actual.typeCode);
    EXPECT_EQ(expected.selected, actual.selected);
    EXPECT_FALSE(actual.checked);
    EXPECT_FALSE(actual.changed);
}

void ExpectSameTree(const CManager &expected, const CManager &actual)
{
    EXPECT_EQ(expected.userName, actual.userName);
    EXPECT_EQ(expected.password, actual.password);
    EXPECT_EQ(expected.deptId, actual.deptId);
    ASSERT_EQ(expected.projects.size(), actual.projects.size());
    for (std::size_t p = 0; p < expected.projects.size(); ++p) {
        const CProject &ep = *expected.projects[p];
        const CProject &ap = *actual.projects[p];
        EXPECT_EQ(ep.projectId, ap.projectId);
        EXPECT_EQ(ep.projectName, ap.projectName);
        ASSERT_EQ(ep.devices.size(), ap.devices.size());
        for (std::size_t d = 0; d < ep.devices.size(); ++d) {
            const CDevice &ed = *ep.devices[d];
            const CDevice &ad = *ap.devices[d];
            EXPECT_EQ(ed.deviceId, ad.deviceId);
            EXPECT_EQ(ed.name, ad.name);
            EXPECT_EQ(ed.serlnum, ad.serlnum);
            EXPECT_EQ(ed.groupName, ad.groupName);
            EXPECT_EQ(ed.hasSelected, ad.hasSelected);
            ASSERT_EQ(ed.variants.size(), ad.variants.size());
            for (std::size_t v = 0; v < ed.variants.size(); ++v)
                ExpectSameVariant(*ed.variants[v], *ad.variants[v]);
        }
    }
}

std::string Length(std::size_t length)
{
    std::string bytes(sizeof(std::size_t), '\0');
    std::memcpy(&bytes[0], &length, sizeof(length));
    return bytes;
}

std::string Text(const std::string &text)
{
    return Length(text.size()) + text;
}

// Bytes of the archive header on this architecture.
std::size_t HeaderSize()
{
    return sizeof(std::size_t) + 22 + 2 + 4 + 4;
}

// Start of the manager's first text: header, version tag, class preamble
// (tracking flag and class version).
std::size_t ManagerFieldsOffset()
{
    return HeaderSize() + sizeof(std::size_t) + 5 + 1 + 4;
}

class ProjectFile : public ::testing::Test {
protected:
    std::string SavedSample()
    {
        CManager manager;
        FillSample(manager);
        EXPECT_TRUE(manager.SaveTo(m_path));
        return ReadWholeFile(m_path);
    }

    CScratchDir m_dir;
    const std::string m_path = m_dir.File("qlrsvr.savefile.v2.01");
};

} // namespace

TEST_F(ProjectFile, RoundTripRestoresTreeSelectionGroupsValuesAndCredentials)
{
    CManager saved;
    FillSample(saved);
    ASSERT_TRUE(saved.SaveTo(m_path));
    EXPECT_EQ(std::vector<std::string>{"qlrsvr.savefile.v2.01"}, m_dir.Names());

    CManager loaded;
    ASSERT_TRUE(loaded.LoadFrom(m_path));
    ExpectSameTree(saved, loaded);
    EXPECT_EQ("", loaded.SessionId());
    EXPECT_TRUE(loaded.IsRunning());
    EXPECT_TRUE(loaded.keyIndex.empty()); // the caller rebuilds

    loaded.RebuildIndex();
    loaded.RebuildDeviceProjects();
    EXPECT_EQ(";D1:V1,;D2:V5,;D3:V9,", loaded.Selection());
    EXPECT_EQ("3.5", loaded.keyIndex.at("D1:V1")->value);
    EXPECT_TRUE(loaded.keyIndex.at("D1:V1")->valid);
    EXPECT_EQ(loaded.keyIndex.at("D2:V5"), loaded.itemIdIndex.at("Line1.Open"));
    EXPECT_EQ(loaded.keyIndex.at("D3:V9"), loaded.itemIdIndex.at("Temp"));
    EXPECT_EQ(kPumpStation + std::string(".Pump.Flow"), loaded.keyIndex.at("D1:V1")->itemId);
    EXPECT_EQ("P-2", loaded.ProjectOfDevice("D3"));
}

TEST_F(ProjectFile, StartsWithHeaderVersionTagAndTheManagerByValue)
{
    const std::string bytes = SavedSample();
    EXPECT_EQ(Text("serialization::archive"), bytes.substr(0, sizeof(std::size_t) + 22));
    const std::string tag = Length(5) + std::string("2.01\0", 5);
    EXPECT_EQ(tag, bytes.substr(HeaderSize(), tag.size()));
    // The manager is saved by value only: not tracked, class version 0.
    EXPECT_EQ(std::string("\0\0\0\0\0", 5), bytes.substr(HeaderSize() + tag.size(), 5));
    // Then the texts and the list of projects: its own preamble (not
    // tracked, version 0) and the element count.
    const std::string fields = Text("operator") + Text("pa55") + Text("42") + std::string("\0\0\0\0\0", 5) + Length(2);
    EXPECT_EQ(fields, bytes.substr(ManagerFieldsOffset(), fields.size()));
}

TEST_F(ProjectFile, FirstStartWithoutAFileKeepsTheEmptyManager)
{
    CManager manager;
    EXPECT_FALSE(manager.LoadFrom(m_path));
    EXPECT_TRUE(manager.projects.empty());
    EXPECT_TRUE(manager.IsRunning());
    manager.RebuildIndex();
    EXPECT_TRUE(manager.Selection().empty());
    EXPECT_TRUE(m_dir.Names().empty());
}

TEST_F(ProjectFile, EveryCutOffFileIsKeptAsideAndTheManagerStaysEmpty)
{
    const std::string whole = SavedSample();
    const std::string aside = m_path + ".unreadable";
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        WriteWholeFile(m_path, whole.substr(0, cut));
        CManager manager;
        ASSERT_FALSE(manager.LoadFrom(m_path)) << "cut at " << cut;
        ASSERT_TRUE(manager.projects.empty()) << "cut at " << cut;
        ASSERT_TRUE(manager.UserName().empty()) << "cut at " << cut;
        ASSERT_FALSE(FileExists(m_path)) << "cut at " << cut;
        ASSERT_EQ(whole.substr(0, cut), ReadWholeFile(aside)) << "cut at " << cut;
        DeleteFileA(aside.c_str());
    }
}

TEST_F(ProjectFile, DamagedAndForeignFilesAreKeptAsideWithoutOverwritingEarlierOnes)
{
    const std::string whole = SavedSample();
    std::string hugeText = whole;
    hugeText.replace(ManagerFieldsOffset(), sizeof(std::size_t), sizeof(std::size_t), '\x7F');
    std::string hugeCount = whole;
    const std::size_t countOffset =
        ManagerFieldsOffset() + Text("operator").size() + Text("pa55").size() + Text("42").size() + 5;
    hugeCount.replace(countOffset, sizeof(std::size_t), sizeof(std::size_t), '\xFF');
    const std::string foreign = "[server]\r\nhost=example\r\n";
    std::ostringstream otherArchive;
    {
        boost::archive::binary_oarchive archive(otherArchive);
        const std::int32_t number = 7;
        archive << number;
    }

    const std::vector<std::string> files = {hugeText, hugeCount, foreign, otherArchive.str()};
    for (const std::string &content : files) {
        WriteWholeFile(m_path, content);
        CManager manager;
        EXPECT_FALSE(manager.LoadFrom(m_path));
        EXPECT_TRUE(manager.projects.empty());
        EXPECT_TRUE(manager.UserName().empty());
    }
    EXPECT_EQ(hugeText, ReadWholeFile(m_path + ".unreadable"));
    EXPECT_EQ(hugeCount, ReadWholeFile(m_path + ".unreadable.1"));
    EXPECT_EQ(foreign, ReadWholeFile(m_path + ".unreadable.2"));
    EXPECT_EQ(otherArchive.str(), ReadWholeFile(m_path + ".unreadable.3"));
    EXPECT_FALSE(FileExists(m_path));

    // The next save starts a fresh file beside the kept ones.
    CManager manager;
    FillSample(manager);
    EXPECT_TRUE(manager.SaveTo(m_path));
    CManager reloaded;
    EXPECT_TRUE(reloaded.LoadFrom(m_path));
}

// A file in which one record appears twice would leave one record in two
// lists: it is refused instead of being destroyed twice later.
TEST_F(ProjectFile, RecordSharedBetweenTwoListsIsRefused)
{
    CManager shared;
    FillSample(shared);
    CDevice *pump = shared.projects[0]->devices[0];
    CDevice *tank = shared.projects[1]->devices[0];
    tank->variants.push_back(pump->variants[0]);
    const bool saved = shared.SaveTo(m_path);
    tank->variants.pop_back();
    ASSERT_TRUE(saved);

    CManager manager;
    EXPECT_FALSE(manager.LoadFrom(m_path));
    EXPECT_TRUE(manager.projects.empty());
    EXPECT_TRUE(FileExists(m_path + ".unreadable"));
}

// A load that never came back (the program ended inside it) left its
// marker: the file is not read again but kept aside.
TEST_F(ProjectFile, FileWhoseLastLoadEndedTheProgramIsKeptAside)
{
    const std::string whole = SavedSample();
    WriteWholeFile(m_path + ".loading", "");
    CManager manager;
    EXPECT_FALSE(manager.LoadFrom(m_path));
    EXPECT_TRUE(manager.projects.empty());
    EXPECT_EQ(whole, ReadWholeFile(m_path + ".unreadable"));
    EXPECT_FALSE(FileExists(m_path + ".loading"));

    // Without a file, a stale marker is just removed.
    WriteWholeFile(m_path + ".loading", "");
    EXPECT_FALSE(manager.LoadFrom(m_path));
    EXPECT_FALSE(FileExists(m_path + ".loading"));
    SavedSample();
    EXPECT_TRUE(manager.LoadFrom(m_path));
    EXPECT_FALSE(FileExists(m_path + ".loading"));
}

TEST_F(ProjectFile, UnreadableFileIsLogged)
{
    ASSERT_TRUE(OpenLog(m_dir.File("Lumaret.log")));
    WriteWholeFile(m_path, "not a project file");
    CManager manager;
    EXPECT_FALSE(manager.LoadFrom(m_path));
    CloseLog();
    const std::string log = ReadWholeFile(m_dir.File("Lumaret.log"));
    const std::regex line("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d project file .*qlrsvr\\.savefile\\.v2\\.01 "
                          "unreadable, kept as .*qlrsvr\\.savefile\\.v2\\.01\\.unreadable, starting empty\r\n");
    EXPECT_TRUE(std::regex_match(log, line)) << log;
}

TEST_F(ProjectFile, SaveReplacesTheOldFileAndLeavesNoTemporaryFile)
{
    CManager first;
    FillSample(first);
    ASSERT_TRUE(first.SaveTo(m_path));
    first.SetUserName("second user");
    first.projects[0]->devices[0]->variants[0]->value = "99";
    ASSERT_TRUE(first.SaveTo(m_path));
    EXPECT_EQ(std::vector<std::string>{"qlrsvr.savefile.v2.01"}, m_dir.Names());

    CManager loaded;
    ASSERT_TRUE(loaded.LoadFrom(m_path));
    EXPECT_EQ("second user", loaded.UserName());
    EXPECT_EQ("99", loaded.projects[0]->devices[0]->variants[0]->value);
}

TEST_F(ProjectFile, SaveThatCannotCompleteLeavesThePreviousFile)
{
    const std::string previous = SavedSample();
    // The temporary file cannot be created.
    ASSERT_TRUE(CreateDirectoryA((m_path + ".tmp").c_str(), nullptr));
    CManager changed;
    changed.SetUserName("lost");
    EXPECT_FALSE(changed.SaveTo(m_path));
    EXPECT_EQ(previous, ReadWholeFile(m_path));
    RemoveDirectoryA((m_path + ".tmp").c_str());

    CManager nowhere;
    EXPECT_FALSE(nowhere.SaveTo(m_dir.File("missing\\qlrsvr.savefile.v2.01")));
}

// Loading into a manager that already has a tree: records the indexes still
// point to stay usable until the caller rebuilds.
TEST_F(ProjectFile, LoadOverAnIndexedTreeKeepsTheOldRecordsAlive)
{
    SavedSample();
    CManager manager;
    CProject *old = new CProject;
    old->projectId = "OLD";
    CDevice *device = old->AddDevice("D0", "Old", "S");
    device->AddVariant("V0", "Old", "int32")->selected = true;
    manager.AddProject(old);
    manager.RebuildIndex();

    ASSERT_TRUE(manager.LoadFrom(m_path));
    EXPECT_EQ("D0:V0", manager.keyIndex.begin()->second->key);
    manager.RebuildIndex();
    EXPECT_EQ(3u, manager.keyIndex.size());
    EXPECT_EQ("P-1", manager.projects[0]->projectId);
}

// Save and Load without a path use the program directory; no other test
// program touches that file at the same time (RESOURCE_LOCK).
TEST(ProjectFileInProgramDirectory, SaveAndLoadUseTheProgramDirectory)
{
    const std::string path = CManager::ProjectFilePath();
    DeleteFileA(path.c_str());
    CManager saved;
    FillSample(saved);
    ASSERT_TRUE(saved.Save());
    EXPECT_TRUE(FileExists(path));
    CManager loaded;
    EXPECT_TRUE(loaded.Load());
    ExpectSameTree(saved, loaded);
    DeleteFileA(path.c_str());
}

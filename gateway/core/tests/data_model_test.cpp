// The gateway's data model: record creation, the type-name table, the
// selection text and the indexes, group names, polled values, and what the
// segment publishes from it.
#include "app_dir.h"
#include "manager.h"
#include "segment_records.h"

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

namespace {

// Project P with devices D1 (V1, V2), D2 (V5) and D3 (V9); nothing selected.
class DataModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_project = new CProject;
        m_project->projectId = "P-1";
        m_project->projectName = "P";
        m_d1 = m_project->AddDevice("D1", "Pump", "S-1");
        m_v1 = m_d1->AddVariant("V1", "Flow", "float32");
        m_v2 = m_d1->AddVariant("V2", "Level", "int16");
        m_d2 = m_project->AddDevice("D2", "Valve", "S-2");
        m_v5 = m_d2->AddVariant("V5", "Open", "bool");
        m_d3 = m_project->AddDevice("D3", "Tank", "S-3");
        m_v9 = m_d3->AddVariant("V9", "Temp", "double");
        m_manager.AddProject(m_project);
    }

    void Select(std::initializer_list<CVariant *> variants)
    {
        for (CVariant *variant : variants)
            variant->selected = true;
    }

    // The records of one segment snapshot built from the manager.
    std::vector<CVariant> Published()
    {
        CSegmentSnapshotWriter snapshot;
        m_manager.SaveSelection(snapshot);
        const std::string &layout = snapshot.LayoutBytes();
        std::string values(1 << 20, '\0');
        std::size_t size = 0;
        EXPECT_TRUE(snapshot.StoreValues(&values[0], values.size(), size));
        const std::string bytes = layout + values.substr(0, size);
        std::vector<CVariant> records;
        EXPECT_TRUE(LoadSegmentSnapshot(bytes.data(), layout.size(), bytes.size(), records));
        return records;
    }

    CManager m_manager;
    CProject *m_project = nullptr;
    CDevice *m_d1 = nullptr, *m_d2 = nullptr, *m_d3 = nullptr;
    CVariant *m_v1 = nullptr, *m_v2 = nullptr, *m_v5 = nullptr, *m_v9 = nullptr;
};

} // namespace

TEST_F(DataModel, NewRecordsTakeKeyItemIdAndGroupFromTheirParents)
{
    EXPECT_EQ("P.Pump", m_d1->groupName);
    EXPECT_EQ("D1:V1", m_v1->key);
    EXPECT_EQ("P.Pump.Flow", m_v1->itemId);
    EXPECT_EQ("V1", m_v1->variantId);
    EXPECT_EQ("float32", m_v1->typeName);
    EXPECT_TRUE(m_v1->value.empty());
    EXPECT_EQ(0, m_v1->typeCode);
    EXPECT_FALSE(m_v1->valid || m_v1->selected || m_v1->checked || m_v1->changed);
    EXPECT_FALSE(m_d1->hasSelected);
    EXPECT_TRUE(m_manager.IsRunning());
}

TEST_F(DataModel, TypeNameTableIsExactAndCaseSensitive)
{
    const std::pair<const char *, int> table[] = {
        {"bool", 13}, {"int8", 1},   {"uint8", 2},    {"int16", 3},   {"uint16", 4},
        {"int32", 5}, {"uint32", 6}, {"long", 7},     {"float32", 9}, {"double", 10},
        {"bcd", 4},   {"bcd32", 6},  {"bcd64", 7},     {"string", 11},
    };
    for (const auto &entry : table)
        EXPECT_EQ(entry.second, m_manager.TypeCodeOf(entry.first)) << entry.first;
    EXPECT_EQ(14u, m_manager.typeCodes.size());
    EXPECT_EQ(0, m_manager.TypeCodeOf("Float32"));
    EXPECT_EQ(0, m_manager.TypeCodeOf("String"));
}

TEST_F(DataModel, SelectionTextAndIndexesFollowTheTreeOrder)
{
    m_d1->AddVariant("V3", "Spare", "int32"); // not selected
    Select({m_v1, m_v2, m_v9});
    m_manager.RebuildIndex();

    EXPECT_EQ(";D1:V1,V2,;D2:;D3:V9,", m_manager.Selection());
    ASSERT_EQ(3u, m_manager.keyIndex.size());
    EXPECT_EQ(m_v1, m_manager.keyIndex.at("D1:V1"));
    EXPECT_EQ(m_v9, m_manager.keyIndex.at("D3:V9"));
    EXPECT_EQ(m_v2, m_manager.itemIdIndex.at("P.Pump.Level"));
    EXPECT_EQ(9, m_v1->typeCode);
    EXPECT_EQ(3, m_v2->typeCode);
    EXPECT_EQ(0, m_v5->typeCode); // not selected: not looked up

    // Deselecting everything empties text and indexes.
    m_v1->selected = m_v2->selected = m_v9->selected = false;
    m_manager.RebuildIndex();
    EXPECT_TRUE(m_manager.Selection().empty());
    EXPECT_TRUE(m_manager.keyIndex.empty());
    EXPECT_TRUE(m_manager.itemIdIndex.empty());
    EXPECT_TRUE(Published().empty());
}

TEST_F(DataModel, PublishedRecordsAreTheSelectionInKeyOrder)
{
    m_v9->value = "21.5";
    m_v9->valid = true;
    Select({m_v9, m_v1});
    m_manager.RebuildIndex();
    const std::vector<CVariant> records = Published();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("D1:V1", records[0].key);
    EXPECT_EQ("D3:V9", records[1].key);
    EXPECT_EQ("P.Tank.Temp", records[1].itemId);
    EXPECT_EQ("Temp", records[1].name);
    EXPECT_EQ("double", records[1].typeName);
    EXPECT_EQ("21.5", records[1].value);
    EXPECT_TRUE(records[1].valid);
    EXPECT_EQ(10, records[1].typeCode);
    EXPECT_TRUE(records[1].selected);
}

TEST_F(DataModel, UnknownTypeNameIsPublishedWithTheCodeItHad)
{
    CVariant *text = m_d2->AddVariant("V6", "Note", "blob");
    CVariant *renamed = m_d2->AddVariant("V7", "Mode", "enum");
    renamed->typeCode = 9; // looked up earlier under a known name
    Select({text, renamed});
    m_manager.RebuildIndex();
    const std::vector<CVariant> records = Published();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("D2:V6", records[0].key);
    EXPECT_EQ(0, records[0].typeCode);
    EXPECT_EQ(9, records[1].typeCode);
}

TEST_F(DataModel, GroupNamesAreUniqueUnlessEmpty)
{
    EXPECT_TRUE(m_manager.SetGroupName("Line1", *m_d1));
    EXPECT_EQ("Line1.Flow", m_v1->itemId);
    EXPECT_EQ("Line1.Level", m_v2->itemId);

    EXPECT_FALSE(m_manager.SetGroupName("Line1", *m_d2));
    EXPECT_EQ("P.Valve", m_d2->groupName);
    EXPECT_EQ("P.Valve.Open", m_v5->itemId);

    // The device may keep its own name; an existing default name counts too.
    EXPECT_TRUE(m_manager.SetGroupName("Line1", *m_d1));
    EXPECT_FALSE(m_manager.SetGroupName("P.Tank", *m_d2));

    // A device in another project is compared as well.
    CProject *other = new CProject;
    other->projectName = "Q";
    CDevice *foreign = other->AddDevice("D8", "Pump", "S-8");
    m_manager.AddProject(other);
    EXPECT_FALSE(m_manager.SetGroupName("Line1", *foreign));
}

TEST_F(DataModel, UngroupedDevicesMayCollideInTheItemIdIndex)
{
    CVariant *flowOfTank = m_d3->AddVariant("V10", "Flow", "float32");
    EXPECT_TRUE(m_manager.SetGroupName("", *m_d1));
    EXPECT_TRUE(m_manager.SetGroupName("", *m_d3));
    EXPECT_EQ("Flow", m_v1->itemId);
    EXPECT_EQ("Flow", flowOfTank->itemId);
    EXPECT_EQ("Temp", m_v9->itemId);

    Select({m_v1, flowOfTank});
    m_manager.RebuildIndex();
    EXPECT_EQ(2u, m_manager.keyIndex.size());
    ASSERT_EQ(1u, m_manager.itemIdIndex.size());
    EXPECT_EQ(flowOfTank, m_manager.itemIdIndex.at("Flow"));
}

TEST_F(DataModel, PolledValuesReachOnlyPublishedVariables)
{
    Select({m_v1});
    m_manager.RebuildIndex();

    m_manager.UpdateValue("D1:V1", "1", "3.25");
    EXPECT_TRUE(m_v1->valid);
    EXPECT_EQ("3.25", m_v1->value);

    m_manager.UpdateValue("D1:V1", "0", "4.5");
    EXPECT_FALSE(m_v1->valid);
    EXPECT_TRUE(m_v1->value.empty());

    m_manager.UpdateValue("D1:V1", "11", "5");
    EXPECT_FALSE(m_v1->valid);
    m_manager.UpdateValue("D1:V1", "true", "5");
    EXPECT_FALSE(m_v1->valid);

    m_manager.UpdateValue("D1:V2", "1", "7"); // not selected
    EXPECT_FALSE(m_v2->valid);
    EXPECT_TRUE(m_v2->value.empty());
    m_manager.UpdateValue("D9:V9", "1", "7"); // unknown: ignored
}

// What a value's quality and time stamp say, and when the segment has
// something new to publish.
TEST_F(DataModel, QualityAndTimeStampTellHowCurrentAValueIs)
{
    Select({m_v1, m_v2});
    m_manager.RebuildIndex();
    EXPECT_EQ(kQualityWaiting, m_v1->quality);
    EXPECT_EQ(0u, m_v1->timestamp);

    std::uint64_t generation = m_manager.PublishGeneration();
    m_manager.UpdateValue("D1:V1", "1", "3.25", 1000);
    EXPECT_EQ(kQualityGood, m_v1->quality);
    EXPECT_EQ(1000u, m_v1->timestamp);
    EXPECT_NE(generation, m_manager.PublishGeneration());

    // The same value again: the time of the reply that produced it stays,
    // and there is nothing new to publish.
    generation = m_manager.PublishGeneration();
    m_manager.UpdateValue("D1:V1", "1", "3.25", 2000);
    EXPECT_EQ(1000u, m_v1->timestamp);
    EXPECT_EQ(generation, m_manager.PublishGeneration());

    // Platform unreachable: the polled value stays as the last known one,
    // the never polled one has none; both stamped with the change.
    EXPECT_TRUE(m_manager.MarkSourceUnreachable());
    EXPECT_EQ(kQualityLastKnown, m_v1->quality);
    EXPECT_EQ("3.25", m_v1->value);
    EXPECT_FALSE(m_v1->valid);
    EXPECT_GT(m_v1->timestamp, 2000u);
    EXPECT_EQ(kQualityCommFailure, m_v2->quality);
    generation = m_manager.PublishGeneration();
    EXPECT_FALSE(m_manager.MarkSourceUnreachable());
    EXPECT_EQ(generation, m_manager.PublishGeneration());

    // Back: the same value is good again, as of the new reply; a variable
    // the platform reports invalid is plain bad.
    m_manager.UpdateValue("D1:V1", "1", "3.25", 5000);
    m_manager.UpdateValue("D1:V2", "0", "", 5000);
    EXPECT_EQ(kQualityGood, m_v1->quality);
    EXPECT_EQ(5000u, m_v1->timestamp);
    EXPECT_EQ(kQualityBad, m_v2->quality);

    const std::vector<CVariant> records = Published();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(kQualityGood, records[0].quality);
    EXPECT_EQ(5000u, records[0].timestamp);
    EXPECT_EQ(kQualityBad, records[1].quality);

    // A variable the platform leaves out of a reply is the last known value
    // from that reply on; one it never reported has none.
    m_manager.MarkUnreported({"D1:V1", "D1:V2", "D9:V9"}, 6000);
    EXPECT_EQ(kQualityLastKnown, m_v1->quality);
    EXPECT_EQ("3.25", m_v1->value);
    EXPECT_EQ(6000u, m_v1->timestamp);
    EXPECT_EQ(kQualityCommFailure, m_v2->quality);

    // Values of an earlier run, as the project file brings them back: none
    // is published, every variable waits for its first poll.
    m_manager.MarkValuesWaiting();
    EXPECT_FALSE(m_v1->valid);
    EXPECT_EQ(kQualityWaiting, m_v1->quality);
    EXPECT_TRUE(m_v1->value.empty());
}

// Polling ends (logout): nothing stays valid, but a polled value is kept as
// the last known one; only a variable that never had one is a comm failure.
TEST_F(DataModel, InvalidateValuesKeepsTheLastKnownValues)
{
    Select({m_v1, m_v2});
    m_manager.RebuildIndex();
    EXPECT_FALSE(m_manager.InvalidateValues());
    EXPECT_EQ(kQualityCommFailure, m_v2->quality);

    m_manager.UpdateValue("D1:V2", "1", "12", 1000);
    EXPECT_TRUE(m_manager.InvalidateValues());
    EXPECT_FALSE(m_v2->valid);
    EXPECT_EQ("12", m_v2->value);
    EXPECT_EQ(kQualityLastKnown, m_v2->quality);
    EXPECT_GT(m_v2->timestamp, 1000u);
    EXPECT_EQ(kQualityCommFailure, m_v1->quality);
    EXPECT_FALSE(m_manager.InvalidateValues());

    const std::vector<CVariant> records = Published();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("12", records[1].value);
    EXPECT_EQ(kQualityLastKnown, records[1].quality);
}

TEST_F(DataModel, ApplySelectionCopiesTheCheckMarks)
{
    m_v2->checked = true;
    m_d1->ApplySelection();
    EXPECT_FALSE(m_v1->selected);
    EXPECT_TRUE(m_v2->selected);
    EXPECT_TRUE(m_d1->hasSelected);

    m_v2->checked = false;
    m_d1->ApplySelection();
    EXPECT_FALSE(m_v2->selected);
    EXPECT_FALSE(m_d1->hasSelected);
}

TEST_F(DataModel, DeviceProjectsKeepTheLaterProjectOfADevice)
{
    CProject *second = new CProject;
    second->projectId = "P-2";
    second->projectName = "Second";
    second->AddDevice("D3", "Tank", "S-3");
    second->AddDevice("D7", "Gate", "S-7");
    m_manager.AddProject(second);
    m_manager.RebuildDeviceProjects();

    EXPECT_EQ("P-1", m_manager.ProjectOfDevice("D1"));
    EXPECT_EQ("P-2", m_manager.ProjectOfDevice("D3"));
    EXPECT_EQ("P-2", m_manager.ProjectOfDevice("D7"));
    EXPECT_EQ("", m_manager.ProjectOfDevice("D404"));
}

// Records dropped from the tree stay alive while the indexes point into
// them, also when a release is asked for; once the indexes no longer hold
// them a release frees them.
TEST_F(DataModel, ClearProjectsLeavesIndexedRecordsUsableUntilReleased)
{
    Select({m_v1});
    m_manager.RebuildIndex();
    m_manager.RebuildDeviceProjects();
    m_manager.ClearProjects();

    EXPECT_TRUE(m_manager.projects.empty());
    EXPECT_EQ("", m_manager.ProjectOfDevice("D1"));
    EXPECT_EQ(1u, m_manager.ReleaseRetired()) << "still indexed";
    m_manager.UpdateValue("D1:V1", "1", "8");
    const std::vector<CVariant> records = Published();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("8", records[0].value);

    // A second generation dropped unindexed goes at once; the first stays
    // until the rebuild has taken it out of the indexes.
    CProject *second = new CProject;
    second->AddDevice("D7", "Spare", "S-7")->AddVariant("V70", "Idle", "bool");
    m_manager.AddProject(second);
    m_manager.ClearProjects();
    EXPECT_EQ(1u, m_manager.ReleaseRetired());
    EXPECT_EQ("8", m_manager.keyIndex.at("D1:V1")->value);

    m_manager.RebuildIndex();
    EXPECT_TRUE(m_manager.keyIndex.empty());
    EXPECT_TRUE(m_manager.Selection().empty());
    EXPECT_EQ(0u, m_manager.ReleaseRetired());
    EXPECT_TRUE(Published().empty());
}

TEST_F(DataModel, LockedFieldAccessors)
{
    m_manager.SetUserName("operator");
    m_manager.SetPassword("secret");
    m_manager.SetSessionId("S1");
    m_manager.SetDeptId("7");
    m_manager.SetRunning(false);
    EXPECT_EQ("operator", m_manager.UserName());
    EXPECT_EQ("secret", m_manager.Password());
    EXPECT_EQ("S1", m_manager.SessionId());
    EXPECT_EQ("7", m_manager.DeptId());
    EXPECT_FALSE(m_manager.IsRunning());
}

TEST(ProcessManager, OneInstanceForTheProcess)
{
    CManager &first = CManager::GetInstance();
    EXPECT_EQ(&first, &CManager::GetInstance());
    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(first.projects.empty());
}

TEST(AppDir, ProgramDirectoryWithoutTrailingSeparator)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string program(path, length);
    const std::string dir = GetAppDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE('\\', dir.back());
    EXPECT_NE('/', dir.back());
    EXPECT_EQ(program.substr(0, dir.size()), dir);
    ASSERT_LT(dir.size(), program.size());
    EXPECT_TRUE(program[dir.size()] == '\\' || program[dir.size()] == '/');
    EXPECT_EQ(std::string::npos, program.find_first_of("/\\", dir.size() + 1));
    EXPECT_EQ(dir + "\\qlrsvr.savefile.v2.01", CManager::ProjectFilePath());
}

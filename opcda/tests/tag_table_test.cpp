// Tag table: declaration and handles, setters and their type rules, reads,
// item references, client write checks and browsing of the name hierarchy.
#include "opc_errors.h"
#include "svr_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

VARIANT MakeI4(LONG v)
{
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_I4;
    V_I4(&var) = v;
    return var;
}

VARIANT MakeR8(double v)
{
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_R8;
    V_R8(&var) = v;
    return var;
}

ItemInfo Lookup(CSvrData &table, const char *itemId, bool *found)
{
    ItemInfo info;
    std::memset(&info, 0, sizeof(info));
    std::strncpy(info.itemId, itemId, sizeof(info.itemId) - 1);
    *found = table.LookupItem(info);
    return info;
}

DWORD HandleOf(CSvrData &table, const char *itemId)
{
    bool found = false;
    ItemInfo info = Lookup(table, itemId, &found);
    return found ? info.handle : 0;
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

struct ReadResult {
    bool ok;
    FILETIME timestamp;
    WORD quality;
    VARIANT value;
};

ReadResult Read(CSvrData &table, DWORD handle)
{
    ReadResult r;
    r.ok = table.ReadValue(handle, &r.timestamp, &r.quality, &r.value);
    return r;
}

ULONGLONG ToUInt64(const FILETIME &ft)
{
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

} // namespace

TEST(TagDeclaration, HandlesAreSequentialAndStableAcrossRedeclaration)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Area.Pump", "pump", "", DAKORA_TAG_I4, 1));
    ASSERT_EQ(0, table.AddTag("Area.Valve", "valve", "", DAKORA_TAG_I4, 1));
    EXPECT_EQ(1u, HandleOf(table, "Area.Pump"));
    EXPECT_EQ(2u, HandleOf(table, "Area.Valve"));

    VARIANT v = MakeI4(42);
    ASSERT_EQ(0, table.SetValue("Area.Pump", &v, 192, 0, 0));
    ASSERT_TRUE(table.AddItemRef(1, 1000));

    // Declaring Area.Pump again keeps handle 1 and starts its value over.
    ASSERT_EQ(0, table.AddTag("Area.Pump", "new text", "m3/h", DAKORA_TAG_R8, 0));
    bool found = false;
    ItemInfo info = Lookup(table, "Area.Pump", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(1u, info.handle);
    EXPECT_STREQ("new text", info.description);
    EXPECT_STREQ("m3/h", info.units);
    EXPECT_EQ(VT_R8, info.canonicalType);
    EXPECT_EQ(kRightsReadable, info.accessRights);

    ReadResult r = Read(table, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(VT_EMPTY, V_VT(&r.value));
    EXPECT_EQ(0x20, r.quality); // bad, waiting for initial data
    DWORD stamp = 99, refs = 99, rate = 0;
    ASSERT_TRUE(table.GetChangeStamp(1, &stamp));
    EXPECT_EQ(0u, stamp);
    ASSERT_TRUE(table.GetItemRefs(1, &refs, &rate));
    EXPECT_EQ(0u, refs);

    // A new name still gets the next handle.
    ASSERT_EQ(0, table.AddTag("Area.Motor", "", "", DAKORA_TAG_BOOL, 1));
    EXPECT_EQ(3u, HandleOf(table, "Area.Motor"));
}

TEST(TagDeclaration, ItemIdsAreCaseSensitive)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Tag", "", "", DAKORA_TAG_I4, 1));
    ASSERT_EQ(0, table.AddTag("tag", "", "", DAKORA_TAG_I4, 1));
    EXPECT_EQ(1u, HandleOf(table, "Tag"));
    EXPECT_EQ(2u, HandleOf(table, "tag"));
    EXPECT_EQ(0u, HandleOf(table, "TAG"));
}

TEST(TagDeclaration, RefusesBadArgumentsWithoutChangingTheTable)
{
    CSvrData table;
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag(nullptr, "", "", 5, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("", "", "", 5, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("A", nullptr, "", 5, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("A", "", nullptr, 5, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("A", "", "", 0, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("A", "", "", 14, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag(std::string(80, 'x').c_str(), "", "", 5, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("A", std::string(80, 'd').c_str(), "", 5, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.AddTag("A", "", std::string(16, 'u').c_str(), 5, 1));
    EXPECT_EQ(0u, HandleOf(table, "A"));

    // Only the low 8 bits of the type code count; limits are inclusive.
    EXPECT_EQ(0, table.AddTag("A", "", "", 0x0105, 1));
    EXPECT_EQ(0, table.AddTag(std::string(79, 'x').c_str(), std::string(79, 'd').c_str(),
                              std::string(15, 'u').c_str(), 13, 1));
    bool found = false;
    ItemInfo info = Lookup(table, "A", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(VT_I4, info.canonicalType);
    EXPECT_EQ(1u, info.handle);
}

TEST(TagDeclaration, CanonicalTypesAndAccessRights)
{
    const VARTYPE expected[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8,
                                VT_UI8, VT_R4, VT_R8, VT_BSTR, VT_ARRAY | VT_UI1, VT_BOOL};
    CSvrData table;
    for (int type = 1; type <= 13; ++type) {
        const std::string name = "T" + std::to_string(type);
        ASSERT_EQ(0, table.AddTag(name.c_str(), "", "", type, type % 2 ? 1 : 0));
        bool found = false;
        ItemInfo info = Lookup(table, name.c_str(), &found);
        ASSERT_TRUE(found);
        EXPECT_EQ(expected[type - 1], info.canonicalType) << "type " << type;
        EXPECT_EQ(type % 2 ? kRightsReadWrite : kRightsReadable, info.accessRights);
    }
    EXPECT_EQ(VT_EMPTY, CanonicalVarType(0));
    EXPECT_EQ(VT_EMPTY, CanonicalVarType(14));
}

TEST(TagValues, NeverSetTagReadsEmptyWithoutError)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Idle", "", "", DAKORA_TAG_I4, 1));
    ReadResult r = Read(table, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(VT_EMPTY, V_VT(&r.value));
    EXPECT_EQ(0x20, r.quality); // bad, waiting for initial data
    EXPECT_EQ(0u, ToUInt64(r.timestamp));

    ReadResult missing = Read(table, 77);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(VT_EMPTY, V_VT(&missing.value));
}

TEST(TagValues, SetValueStoresTheGivenTypeWithoutConversion)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Flow", "", "", DAKORA_TAG_I4, 1));
    VARIANT v = MakeR8(3.25);
    ASSERT_EQ(0, table.SetValue("Flow", &v, 192, 0x89ABCDEF, 0x01234567));

    ReadResult r = Read(table, 1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(VT_R8, V_VT(&r.value));
    EXPECT_DOUBLE_EQ(3.25, V_R8(&r.value));
    EXPECT_EQ(192, r.quality);
    EXPECT_EQ(0x0123456789ABCDEFull, ToUInt64(r.timestamp));

    bool found = false;
    EXPECT_EQ(VT_I4, Lookup(table, "Flow", &found).canonicalType);
}

TEST(TagValues, ZeroTimestampMeansNow)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Now", "", "", DAKORA_TAG_I4, 1));
    FILETIME before, after;
    GetSystemTimeAsFileTime(&before);
    VARIANT v = MakeI4(1);
    ASSERT_EQ(0, table.SetValue("Now", &v, 0, 0, 0));
    GetSystemTimeAsFileTime(&after);
    ReadResult r = Read(table, 1);
    EXPECT_GE(ToUInt64(r.timestamp), ToUInt64(before));
    EXPECT_LE(ToUInt64(r.timestamp), ToUInt64(after));
    EXPECT_EQ(0, r.quality);
}

TEST(TagValues, EverySetterCallIsAChangeEvenWithinOneTick)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Count", "", "", DAKORA_TAG_I4, 1));
    VARIANT v = MakeI4(5);
    DWORD previous = 0;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(0, table.SetValue("Count", &v, 192, 0, 0));
        DWORD stamp = 0;
        ASSERT_TRUE(table.GetChangeStamp(1, &stamp));
        EXPECT_NE(0u, stamp);
        EXPECT_NE(previous, stamp) << "call " << i;
        previous = stamp;
    }
}

TEST(TagValues, SetterErrors)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("I", "", "", DAKORA_TAG_I4, 1));
    ASSERT_EQ(0, table.AddTag("S", "", "", DAKORA_TAG_TEXT, 1));
    ASSERT_EQ(0, table.AddTag("B", "", "", DAKORA_TAG_BLOB, 1));
    VARIANT v = MakeI4(1);
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.SetValue(nullptr, &v, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.SetValue("", &v, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.SetValue("I", nullptr, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_UNKNOWNTAG, table.SetValue("i", &v, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, table.SetText("S", nullptr, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_UNKNOWNTAG, table.SetText("X", "t", 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, table.SetText("I", "t", 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, table.SetText("B", "t", 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, table.SetBlob("I", "ab", 2, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, table.SetBlob("S", "ab", 2, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_UNKNOWNTAG, table.SetBlob("X", "ab", 2, 192, 0, 0));

    // A refused setter leaves the value alone.
    ASSERT_EQ(0, table.SetValue("I", &v, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, table.SetText("I", "t", 0, 0, 0));
    ReadResult r = Read(table, 1);
    EXPECT_EQ(VT_I4, V_VT(&r.value));
    EXPECT_EQ(192, r.quality);
}

TEST(TagValues, TextIsConvertedFromTheAnsiCodePage)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Name", "", "", DAKORA_TAG_TEXT, 1));
    // "温度" in GBK
    ASSERT_EQ(0, table.SetText("Name", "\xCE\xC2\xB6\xC8 ok", 192, 0, 0));
    ReadResult r = Read(table, 1);
    ASSERT_EQ(VT_BSTR, V_VT(&r.value));
    EXPECT_EQ(std::wstring(L"\x6E29\x5EA6 ok"), std::wstring(V_BSTR(&r.value)));
    EXPECT_EQ(5u, SysStringLen(V_BSTR(&r.value)));
    VariantClear(&r.value);

    ASSERT_EQ(0, table.SetText("Name", "", 0, 0, 0));
    r = Read(table, 1);
    ASSERT_EQ(VT_BSTR, V_VT(&r.value));
    EXPECT_EQ(0u, SysStringLen(V_BSTR(&r.value)));
    VariantClear(&r.value);
}

TEST(TagValues, ByteBlocksAreSafeArraysOfBytes)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Blob", "", "", DAKORA_TAG_BLOB, 1));

    ASSERT_EQ(0, table.SetBlob("Blob", nullptr, 4, 192, 0, 0));
    ReadResult r = Read(table, 1);
    ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&r.value));
    SAFEARRAY *array = V_ARRAY(&r.value);
    ASSERT_EQ(1u, SafeArrayGetDim(array));
    LONG lower = -1, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(0, lower);
    EXPECT_EQ(3, upper);
    const BYTE *bytes = static_cast<const BYTE *>(array->pvData);
    EXPECT_EQ(0, bytes[0] | bytes[1] | bytes[2] | bytes[3]);
    VariantClear(&r.value);

    const BYTE data[3] = {0x01, 0xFE, 0x7F};
    ASSERT_EQ(0, table.SetBlob("Blob", data, 3, 192, 0, 0));
    r = Read(table, 1);
    ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&r.value));
    EXPECT_EQ(0, std::memcmp(data, V_ARRAY(&r.value)->pvData, 3));
    VariantClear(&r.value);

    ASSERT_EQ(0, table.SetBlob("Blob", data, 0, 192, 0, 0));
    r = Read(table, 1);
    ASSERT_EQ(VT_ARRAY | VT_UI1, V_VT(&r.value));
    SafeArrayGetUBound(V_ARRAY(&r.value), 1, &upper);
    EXPECT_EQ(-1, upper);
    VariantClear(&r.value);
}

TEST(ItemReferences, SamplingRateRoundsDownToMultiplesOf200)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("R", "", "", DAKORA_TAG_I4, 1));
    DWORD refs = 0, rate = 0;
    ASSERT_TRUE(table.AddItemRef(1, 1100));
    ASSERT_TRUE(table.GetItemRefs(1, &refs, &rate));
    EXPECT_EQ(1u, refs);
    EXPECT_EQ(1000u, rate);
    ASSERT_TRUE(table.AddItemRef(1, 150));
    ASSERT_TRUE(table.GetItemRefs(1, &refs, &rate));
    EXPECT_EQ(2u, refs);
    EXPECT_EQ(200u, rate);
    EXPECT_TRUE(table.ReleaseItemRef(1));
    EXPECT_TRUE(table.ReleaseItemRef(1));
    EXPECT_FALSE(table.ReleaseItemRef(1));
    EXPECT_FALSE(table.AddItemRef(9, 1000));
    EXPECT_FALSE(table.ReleaseItemRef(9));
}

TEST(ClientWrites, RightsAndHandlesAreCheckedAndTheValueIsKept)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("RW", "", "", DAKORA_TAG_I4, 1));
    ASSERT_EQ(0, table.AddTag("RO", "", "", DAKORA_TAG_I4, 0));
    ASSERT_EQ(0, table.AddTag("Odd", "", "", DAKORA_TAG_I4, 2));
    VARIANT v = MakeI4(7);
    ASSERT_EQ(0, table.SetValue("RW", &v, 192, 0, 0));

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    VARIANT w = MakeI4(99);
    EXPECT_EQ(S_OK, table.WriteItem(1, now, 192, w, 2052));
    EXPECT_EQ(OPC_E_BADRIGHTS, table.WriteItem(2, now, 192, w, 2052));
    // Shown as writable (rights 3), but only a writable byte of exactly 1
    // lets writes through.
    bool found = false;
    EXPECT_EQ(kRightsReadWrite, Lookup(table, "Odd", &found).accessRights);
    EXPECT_EQ(OPC_E_BADRIGHTS, table.WriteItem(3, now, 192, w, 2052));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, table.WriteItem(42, now, 192, w, 2052));
    EXPECT_EQ(1u, table.WriteToDec().Pending());

    ReadResult r = Read(table, 1);
    EXPECT_EQ(7, V_I4(&r.value));
}

VARIANT MakeText(const wchar_t *text)
{
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_BSTR;
    V_BSTR(&var) = SysAllocString(text);
    return var;
}

// What the host receives: the value in the tag's own type, or nothing when
// the value does not convert or does not fit.
TEST(ClientWrites, ValuesAreConvertedToTheTagTypeOrRefused)
{
    CSvrData table;
    ASSERT_EQ(0, table.AddTag("Small", "", "", DAKORA_TAG_UI1, 1));
    ASSERT_EQ(0, table.AddTag("Count", "", "", DAKORA_TAG_I4, 1));
    ASSERT_EQ(0, table.AddTag("Text", "", "", DAKORA_TAG_TEXT, 1));
    ASSERT_EQ(0, table.AddTag("Flag", "", "", DAKORA_TAG_BOOL, 1));
    table.SetWriteTextLimit(4);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);

    VARIANT big = MakeR8(300.0), fraction = MakeR8(2.75), word = MakeText(L"abc");
    EXPECT_EQ(OPC_E_RANGE, table.WriteItem(1, now, 192, big, 1033));
    EXPECT_EQ(OPC_E_BADTYPE, table.WriteItem(2, now, 192, word, 1033));
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(OPC_E_BADTYPE, table.WriteItem(2, now, 192, empty, 1033));
    VARIANT array;
    VariantInit(&array);
    V_VT(&array) = VT_ARRAY | VT_I4;
    V_ARRAY(&array) = SafeArrayCreateVector(VT_I4, 0, 2);
    EXPECT_EQ(OPC_E_BADTYPE, table.WriteItem(2, now, 192, array, 1033));
    VariantClear(&array);
    // Texts: at most 4 ANSI bytes, and only characters of the code page.
    VARIANT longText = MakeText(L"abcde"), symbol = MakeText(L"\x2603");
    EXPECT_EQ(OPC_E_RANGE, table.WriteItem(3, now, 192, longText, 1033));
    EXPECT_EQ(OPC_E_BADTYPE, table.WriteItem(3, now, 192, symbol, 1033));
    EXPECT_EQ(0u, table.WriteToDec().Pending());

    EXPECT_EQ(S_OK, table.WriteItem(2, now, 192, fraction, 1033));
    EXPECT_EQ(S_OK, table.WriteItem(3, now, 192, word, 1033));
    VARIANT one = MakeI4(1);
    EXPECT_EQ(S_OK, table.WriteItem(4, now, 192, one, 1033));
    EXPECT_EQ(3u, table.WriteToDec().Pending());
    VariantClear(&word);
    VariantClear(&longText);
    VariantClear(&symbol);
}

class Hierarchy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, table.AddTag("Area.Pump.Flow", "", "", DAKORA_TAG_R8, 1));
        ASSERT_EQ(0, table.AddTag("Area.Pump.Speed", "", "", DAKORA_TAG_I4, 1));
        ASSERT_EQ(0, table.AddTag("Area.Valve", "", "", DAKORA_TAG_BOOL, 1));
        ASSERT_EQ(0, table.AddTag("Top", "", "", DAKORA_TAG_I4, 1));
    }
    CSvrData table;
};

TEST_F(Hierarchy, BranchesAreListedOnceBelowTheirPosition)
{
    EXPECT_EQ(std::vector<std::string>({"Area"}),
              table.ListNames("", kBrowseBranches, "", VT_EMPTY));
    EXPECT_EQ(std::vector<std::string>({"Pump"}),
              table.ListNames("Area", kBrowseBranches, nullptr, VT_EMPTY));
    EXPECT_TRUE(table.ListNames("Area.Pump", kBrowseBranches, "", VT_EMPTY).empty());
    EXPECT_TRUE(table.ListNames("Area", kBrowseBranches, "V*", VT_EMPTY).empty());
    // The type filter does not apply to branches.
    EXPECT_EQ(std::vector<std::string>({"Pump"}),
              table.ListNames("Area", kBrowseBranches, "", VT_BSTR));
}

TEST_F(Hierarchy, LeavesMatchThePatternAgainstTheFullItemId)
{
    EXPECT_EQ(std::vector<std::string>({"Top"}), table.ListNames("", kBrowseLeaves, "", VT_EMPTY));
    EXPECT_EQ(std::vector<std::string>({"Valve"}),
              table.ListNames("Area", kBrowseLeaves, "", VT_EMPTY));
    EXPECT_EQ(std::vector<std::string>({"Flow", "Speed"}),
              Sorted(table.ListNames("Area.Pump", kBrowseLeaves, "*", VT_EMPTY)));
    EXPECT_TRUE(table.ListNames("Area", kBrowseLeaves, "Valve", VT_EMPTY).empty());
    EXPECT_EQ(std::vector<std::string>({"Valve"}),
              table.ListNames("Area", kBrowseLeaves, "*Valve", VT_EMPTY));
    EXPECT_EQ(std::vector<std::string>({"Speed"}),
              table.ListNames("Area.Pump", kBrowseLeaves, "", VT_I4));
    EXPECT_TRUE(table.ListNames("Are", kBrowseLeaves, "", VT_EMPTY).empty());
    // Unknown filter types browse leaves.
    EXPECT_EQ(std::vector<std::string>({"Valve"}), table.ListNames("Area", 7, "", VT_EMPTY));
}

TEST_F(Hierarchy, FlatListsFullIdsFilteredOnlyByType)
{
    EXPECT_EQ(std::vector<std::string>({"Area.Pump.Flow", "Area.Pump.Speed", "Area.Valve", "Top"}),
              Sorted(table.ListNames("Area.Pump", kBrowseFlat, "nothing", VT_EMPTY)));
    EXPECT_EQ(std::vector<std::string>({"Area.Pump.Speed", "Top"}),
              Sorted(table.ListNames("", kBrowseFlat, "", VT_I4)));
}

TEST_F(Hierarchy, BranchAndPrefixChecks)
{
    EXPECT_TRUE(table.BranchExists("", "Area"));
    EXPECT_TRUE(table.BranchExists("Area", "Pump"));
    EXPECT_FALSE(table.BranchExists("Area", "Valve"));
    EXPECT_FALSE(table.BranchExists("", "Pump"));
    EXPECT_FALSE(table.BranchExists("", "area"));
    EXPECT_FALSE(table.BranchExists("", "Top"));

    EXPECT_TRUE(table.PrefixExists("Area"));
    EXPECT_TRUE(table.PrefixExists("Area.Pump"));
    EXPECT_FALSE(table.PrefixExists("Area.Pum"));
    EXPECT_FALSE(table.PrefixExists("Area.Valve"));
    EXPECT_FALSE(table.PrefixExists("Top"));
}

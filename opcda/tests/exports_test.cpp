// The export contract of dakora_da.dll, called through the DLL itself: export
// names, argument limits and every result code of start, stop and the
// tag functions.
#include "dakora_da.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A02}";
const char kOtherClassId[] = "{6C1A4E10-3B7D-4C55-9A61-0D2E8F4B7A03}";

std::string Text(size_t length, char c = 'v')
{
    return std::string(length, c);
}

bool WaitUntilStopReturns17(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (dakora_stop() == DAKORA_E_NOTRUNNING)
            return true;
        Sleep(50);
    }
    return false;
}

VARIANT MakeI4(LONG v)
{
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_I4;
    V_I4(&var) = v;
    return var;
}

} // namespace

TEST(ExportTable, EightUndecoratedNames)
{
    HMODULE dll = GetModuleHandleA("dakora_da.dll");
    ASSERT_NE(nullptr, dll);
    for (const char *name : {"dakora_start", "dakora_stop", "dakora_addtag", "dakora_setval",
                             "dakora_setstr", "dakora_setblob", "dakoar_reg", "dakoar_unreg"})
        EXPECT_NE(nullptr, reinterpret_cast<void *>(GetProcAddress(dll, name))) << name;
    EXPECT_EQ(nullptr, reinterpret_cast<void *>(GetProcAddress(dll, "dakora_start@32")));
    EXPECT_EQ(nullptr, reinterpret_cast<void *>(GetProcAddress(dll, "_dakora_start@32")));
}

TEST(ExportContract, StartAndStop)
{
    // Stop before any start.
    EXPECT_EQ(DAKORA_E_NOTRUNNING, dakora_stop());

    // Missing or empty identity texts.
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_start(nullptr, "V", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_start(kClassId, "", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_start(kClassId, "V", nullptr, "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_start(kClassId, "V", "S", "", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_start(kClassId, "V", "S", "1", nullptr, nullptr, nullptr, 0));

    // Length limits: 79/80, 15/16 and 127/128 characters.
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakora_start(Text(80, '{').c_str(), "V", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_CLASSID,
              dakora_start(Text(79, '{').c_str(), "V", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakora_start(kClassId, Text(16).c_str(), "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakora_start(kClassId, "V", Text(16).c_str(), "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakora_start(kClassId, "V", "S", Text(16).c_str(), "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT,
              dakora_start(kClassId, "V", "S", "1", Text(128).c_str(), nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_NOTRUNNING, dakora_stop());

    // An unparsable class id fails after the thread started and ended...
    EXPECT_EQ(DAKORA_E_CLASSID,
              dakora_start("{not-a-class-id}", "V", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_NOTRUNNING, dakora_stop());
    // ...and a good start follows, with the longest accepted texts.
    ASSERT_EQ(DAKORA_OK, dakora_start(kClassId, Text(15).c_str(), Text(15, 's').c_str(),
                                      Text(15, '1').c_str(), Text(127, 'n').c_str(), nullptr,
                                      nullptr, 0));
    // Already running: 16 and nothing changed.
    EXPECT_EQ(DAKORA_E_RUNNING,
              dakora_start(kOtherClassId, "V", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_E_RUNNING,
              dakora_start(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0));

    // Stop returns at once; the server then winds down by itself.
    const DWORD before = GetTickCount();
    EXPECT_EQ(DAKORA_OK, dakora_stop());
    EXPECT_LT(GetTickCount() - before, 1000u);
    ASSERT_TRUE(WaitUntilStopReturns17(10000));

    // And it can be started again.
    ASSERT_EQ(DAKORA_OK, dakora_start(kClassId, "V", "S", "1", "N", nullptr, nullptr, 0));
    EXPECT_EQ(DAKORA_OK, dakora_stop());
    ASSERT_TRUE(WaitUntilStopReturns17(10000));
}

TEST(ExportContract, TagFunctions)
{
    EXPECT_EQ(DAKORA_OK, dakora_addtag("Plant.Temp", "Plant.Temp", "", DAKORA_TAG_R8, 1));
    EXPECT_EQ(DAKORA_OK, dakora_addtag("Plant.Name", "Plant.Name", "", DAKORA_TAG_TEXT, 1));
    EXPECT_EQ(DAKORA_OK, dakora_addtag("Plant.Raw", "Plant.Raw", "", DAKORA_TAG_BLOB, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_addtag("", "", "", DAKORA_TAG_R8, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_addtag("Plant.Bad", "", "", 0, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_addtag("Plant.Bad", "", "", 14, 1));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_addtag("Plant.Bad", nullptr, "", 5, 1));

    VARIANT v = MakeI4(3);
    EXPECT_EQ(DAKORA_OK, dakora_setval("Plant.Temp", &v, 192, 0, 0));
    EXPECT_EQ(DAKORA_OK, dakora_setval("Plant.Temp", &v, 0, 1, 2));
    EXPECT_EQ(DAKORA_E_UNKNOWNTAG, dakora_setval("plant.temp", &v, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_setval("Plant.Temp", nullptr, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_setval(nullptr, &v, 192, 0, 0));

    EXPECT_EQ(DAKORA_OK, dakora_setstr("Plant.Name", "text", 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, dakora_setstr("Plant.Temp", "text", 192, 0, 0));
    EXPECT_EQ(DAKORA_E_UNKNOWNTAG, dakora_setstr("Plant.None", "text", 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_setstr("", "text", 192, 0, 0));

    EXPECT_EQ(DAKORA_OK, dakora_setblob("Plant.Raw", nullptr, 4, 192, 0, 0));
    EXPECT_EQ(DAKORA_OK, dakora_setblob("Plant.Raw", "abc", 3, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_TYPE, dakora_setblob("Plant.Name", "abc", 3, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_UNKNOWNTAG, dakora_setblob("Plant.None", "abc", 3, 192, 0, 0));
    EXPECT_EQ(DAKORA_E_ARGUMENT, dakora_setblob(nullptr, "abc", 3, 192, 0, 0));
}

TEST(Harness, AnsiCodePageIsGbk)
{
    EXPECT_EQ(936u, GetACP());
}

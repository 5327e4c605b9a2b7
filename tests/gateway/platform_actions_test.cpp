// The five platform actions against the stand-in platform: what they send,
// what they store in the data model and what they hand to their caller.
#include "model_setup.h"
#include "recording_notifications.h"
#include "standin_platform.h"

#include "login_action.h"
#include "query_collector_info_action.h"
#include "query_variant_info_action.h"
#include "query_variant_value_action.h"
#include "write_variant_action.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

class PlatformActions : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform.IsReady()) << platform.Problem();
        ASSERT_TRUE(platform.Reset());
        platform.Use();
        ResetManager();
    }

    // Logs in as demo; the session id is in the data model afterwards.
    std::string LogIn()
    {
        CLoginAction login("demo", "demo123");
        EXPECT_TRUE(login.Request());
        return login.sessionId;
    }

    // The variable tree of the given projects in the data model.
    void FetchTree(const std::vector<std::string> &projectIds)
    {
        CQueryVariantInfoAction query;
        query.projectIds = projectIds;
        ASSERT_TRUE(query.Request());
        CManager::GetInstance().RebuildIndex();
        CManager::GetInstance().RebuildDeviceProjects();
    }

    // Selects the variables with these keys and rebuilds the indexes.
    void Select(const std::vector<std::string> &keys)
    {
        CManager &manager = CManager::GetInstance();
        {
            auto lock = manager.Lock();
            for (CProject *project : manager.projects)
                for (CDevice *device : project->devices) {
                    for (CVariant *variant : device->variants)
                        variant->checked = std::find(keys.begin(), keys.end(), variant->key) != keys.end();
                    device->ApplySelection();
                }
        }
        manager.RebuildIndex();
    }

    CStandinPlatform platform;
    CRecordingNotifications notes;
};

const CVariant *FindRecord(const std::string &deviceId, const std::string &variantId)
{
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    for (const CProject *project : manager.projects)
        for (const CDevice *device : project->devices)
            if (device->deviceId == deviceId)
                for (const CVariant *variant : device->variants)
                    if (variant->variantId == variantId)
                        return variant;
    return nullptr;
}

} // namespace

TEST_F(PlatformActions, LoginStoresSessionAndDepartmentAndShowsLoggedIn)
{
    CLoginAction login("demo", "demo123");
    ASSERT_TRUE(login.Request());
    EXPECT_TRUE(std::regex_match(login.sessionId, std::regex("[0-9A-F]{32}"))) << login.sessionId;
    EXPECT_EQ("101", login.deptId);
    EXPECT_EQ("登录成功", login.message);
    EXPECT_EQ(login.sessionId, CManager::GetInstance().SessionId());
    EXPECT_EQ("101", CManager::GetInstance().DeptId());
    EXPECT_EQ(std::vector<std::string>{"in"}, notes.States());
}

TEST_F(PlatformActions, NumericSessionIdIsKeptAsItsDecimalText)
{
    ASSERT_TRUE(platform.Control("{\"numeric_session_id\": true}"));
    CLoginAction login("demo", "demo123");
    ASSERT_TRUE(login.Request());
    EXPECT_TRUE(std::regex_match(login.sessionId, std::regex("[1-9][0-9]{8}"))) << login.sessionId;
    EXPECT_EQ(login.sessionId, CManager::GetInstance().SessionId());

    // The decimal text is a session the platform takes back.
    CQueryCollectorInfoAction tree;
    EXPECT_TRUE(tree.Request());
}

TEST_F(PlatformActions, RefusedLoginEmptiesTheSessionIdAndStaysLoggedOut)
{
    CManager::GetInstance().SetSessionId("OLD-SESSION");
    CManager::GetInstance().SetDeptId("999");
    CLoginAction login("demo", "wrong");
    EXPECT_FALSE(login.Request());
    EXPECT_EQ("用户名或密码错误", login.message);
    EXPECT_EQ("", CManager::GetInstance().SessionId());
    EXPECT_EQ("", CManager::GetInstance().DeptId());
    EXPECT_TRUE(notes.States().empty());
    EXPECT_EQ(1, notes.Count("请求被拒绝"));
}

TEST_F(PlatformActions, DeviceTreeListsProjectsAndDevicesAndEmptiesTheIndexes)
{
    AddDevice("PX", "Old", "DX", "dev", {{"V1", "a", "bool", true}});
    ASSERT_EQ(1u, CManager::GetInstance().keyIndex.size());
    const std::string session = LogIn();

    CQueryCollectorInfoAction tree;
    ASSERT_TRUE(tree.Request());
    EXPECT_TRUE(CManager::GetInstance().keyIndex.empty());
    EXPECT_TRUE(CManager::GetInstance().itemIdIndex.empty());
    EXPECT_EQ(1, notes.Count("正在查询设备列表"));

    ASSERT_EQ(3u, tree.projects.size());
    EXPECT_EQ("P1001", tree.projects[0]->projectId);
    EXPECT_EQ("Demo Plant", tree.projects[0]->projectName);
    ASSERT_EQ(2u, tree.projects[0]->devices.size());
    EXPECT_EQ("D2001", tree.projects[0]->devices[0]->deviceId);
    EXPECT_EQ("PLC-1", tree.projects[0]->devices[0]->name);
    EXPECT_EQ("SN-PLC-0001", tree.projects[0]->devices[0]->serlnum);
    EXPECT_EQ("", tree.projects[0]->devices[0]->groupName);
    EXPECT_TRUE(tree.projects[0]->devices[0]->variants.empty());
    EXPECT_EQ("一号泵站", tree.projects[1]->projectName);
    ASSERT_EQ(4u, tree.projects[1]->devices.size());
    EXPECT_EQ("出水阀门", tree.projects[1]->devices[1]->name);
    EXPECT_EQ("P1003", tree.projects[2]->projectId);
    EXPECT_TRUE(tree.projects[2]->devices.empty());

    EXPECT_EQ("reqCode=queryDeviceTree&sessionid=" + session,
              platform.Requests("queryDeviceTree")[0]["raw_body"].asString());
}

TEST_F(PlatformActions, DeviceTreeOfUnexpectedShapes)
{
    ASSERT_TRUE(platform.Canned("queryDeviceTree",
                                "{\"success\":true,\"projectList\":[{\"projectId\":\"A\",\"deviceList\":{}},"
                                "{\"projectId\":7,\"projectName\":\"B\",\"deviceList\":\"none\"}]}"));
    CQueryCollectorInfoAction lists;
    EXPECT_TRUE(lists.Request());
    ASSERT_EQ(2u, lists.projects.size());
    EXPECT_TRUE(lists.projects[0]->devices.empty());
    EXPECT_EQ("7", lists.projects[1]->projectId);
    EXPECT_TRUE(lists.projects[1]->devices.empty());

    ASSERT_TRUE(platform.Canned("queryDeviceTree", "{\"success\":true,\"projectList\":{\"a\":{\"projectId\":\"X\"}}}"));
    // A list that is an object: the request fails as a reply it cannot take.
    CQueryCollectorInfoAction object;
    EXPECT_FALSE(object.Request());
    EXPECT_TRUE(object.Malformed());
    EXPECT_EQ("解析数据异常", object.ErrorText());
    EXPECT_TRUE(object.projects.empty());
    EXPECT_EQ(1, notes.Count("解析数据异常"));
}

TEST_F(PlatformActions, VariableTreeGoesIntoTheDataModelInPlatformOrder)
{
    LogIn();
    FetchTree({"P1002", "P1001"});
    EXPECT_EQ(1, notes.Count("正在查询变量列表"));
    const Json::Value request = platform.Requests("queryVariantTree")[0];
    EXPECT_NE(std::string::npos, request["raw_body"].asString().find("&projectIds=P1002;P1001;"));

    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    ASSERT_EQ(2u, manager.projects.size());
    EXPECT_EQ("P1001", manager.projects[0]->projectId);
    EXPECT_EQ("P1002", manager.projects[1]->projectId);
    const CDevice *plc = manager.projects[0]->devices[0];
    EXPECT_EQ("Demo Plant.PLC-1", plc->groupName);
    EXPECT_FALSE(plc->hasSelected);
    ASSERT_EQ(18u, plc->variants.size());
    const CVariant *temperature = plc->variants[8];
    EXPECT_EQ("D2001:V30009", temperature->key);
    EXPECT_EQ("Demo Plant.PLC-1.temperature", temperature->itemId);
    EXPECT_EQ("float32", temperature->typeName);
    EXPECT_EQ("string", plc->variants[13]->typeName);
    for (const CVariant *variant : plc->variants) {
        EXPECT_FALSE(variant->selected);
        EXPECT_FALSE(variant->valid);
        EXPECT_EQ("", variant->value);
        EXPECT_EQ(0, variant->typeCode);
    }
    EXPECT_TRUE(manager.keyIndex.empty());
    EXPECT_EQ("P1002", manager.deviceProjects["D2006"]);
}

TEST_F(PlatformActions, VariableOfAnotherDeviceStaysInItsListButKeysWithItsOwnDeviceId)
{
    LogIn();
    FetchTree({"P1002"});
    const CVariant *mirror = FindRecord("D2006", "V30023");
    ASSERT_NE(nullptr, mirror);
    EXPECT_EQ("D2003:V30023", mirror->key);
    EXPECT_EQ("一号泵站.汇总.进水泵电流", mirror->itemId);
}

TEST_F(PlatformActions, VariableTreeWalkEndsAtAListThatIsAnObject)
{
    ASSERT_TRUE(platform.Canned(
        "queryVariantTree",
        "{\"success\":true,\"projectList\":[{\"projectId\":\"A\",\"projectName\":\"a\",\"deviceList\":[]},"
        "{\"projectId\":\"B\",\"projectName\":\"b\",\"deviceList\":{\"x\":{}}},{\"projectId\":\"C\"}]}"));
    CQueryVariantInfoAction query;
    EXPECT_FALSE(query.Request());
    EXPECT_EQ(1, notes.Count("解析数据异常"));
    CManager &manager = CManager::GetInstance();
    auto lock = manager.Lock();
    ASSERT_EQ(1u, manager.projects.size());
    EXPECT_EQ("A", manager.projects[0]->projectId);
}

TEST_F(PlatformActions, ValueQueryStoresValuesAndValidity)
{
    LogIn();
    FetchTree({"P1001"});
    Select({"D2001:V30001", "D2001:V30009", "D2001:V30017", "D2001:V30014", "D2002:V30020"});
    ASSERT_TRUE(platform.Control(u8"{\"hold\": {\"D2001:V30009\": 12.5, \"D2001:V30001\": true, "
                                 u8"\"D2001:V30014\": \"运行中\"}}"));
    CQueryVariantValueAction query;
    ASSERT_TRUE(query.Request());
    EXPECT_EQ(1, notes.Count("正在查询变量值"));

    EXPECT_TRUE(IsValid("D2001:V30009"));
    EXPECT_EQ("12.5", ValueOf("D2001:V30009"));
    EXPECT_FALSE(IsValid("D2001:V30017"));
    EXPECT_EQ("", ValueOf("D2001:V30017"));
    EXPECT_EQ("true", ValueOf("D2001:V30001"));
    // Texts come in UTF-8 and are kept in the program's code page.
    EXPECT_EQ("运行中", ValueOf("D2001:V30014"));
    EXPECT_TRUE(IsValid("D2002:V30020"));

    const Json::Value request = platform.Requests("queryVariantValueById")[0];
    EXPECT_EQ(CManager::GetInstance().Selection(), request["fields"]["variants"].asString());
    EXPECT_EQ(";D2001:V30001,V30009,V30014,V30017,;D2002:V30020,", request["fields"]["variants"].asString());
}

TEST_F(PlatformActions, ValueRepliesWithoutVariantsOrWithNonScalarValues)
{
    AddDevice("P1001", "Demo Plant", "D2001", "PLC-1",
              {{"V30001", "running", "bool", true}, {"V30009", "temperature", "float32", true},
               {"V30015", "setpoint", "float32", true}});
    CManager::GetInstance().UpdateValue("D2001:V30015", "1", "50.0");

    ASSERT_TRUE(platform.Canned("queryVariantValueById", "{\"success\":true}"));
    CQueryVariantValueAction missing;
    EXPECT_TRUE(missing.Request());
    EXPECT_EQ("50.0", ValueOf("D2001:V30015"));

    // Members in name order: V30001 is stored, the array ends the walk and
    // fails the request.
    ASSERT_TRUE(platform.Canned("queryVariantValueById",
                                "{\"success\":true,\"variants\":{\"D2001\":{\"V30001\":true,\"V30009\":[1,2],"
                                "\"V30015\":3}}}"));
    CQueryVariantValueAction nonScalar;
    EXPECT_FALSE(nonScalar.Request());
    EXPECT_EQ(1, notes.Count("解析数据异常"));
    EXPECT_EQ("true", ValueOf("D2001:V30001"));
    EXPECT_EQ("50.0", ValueOf("D2001:V30015"));

    ASSERT_TRUE(platform.Canned("queryVariantValueById",
                                "{\"success\":true,\"variants\":{\"D2001\":{\"V30001\":[],\"V30009\":3.0,"
                                "\"V30015\":0.1},\"D9\":{\"V1\":1},\"D2\":5}}"));
    CQueryVariantValueAction reals;
    EXPECT_TRUE(reals.Request());
    EXPECT_FALSE(IsValid("D2001:V30001"));
    EXPECT_EQ("", ValueOf("D2001:V30001"));
    EXPECT_EQ("3.0", ValueOf("D2001:V30009"));
    EXPECT_EQ("0.10000000000000001", ValueOf("D2001:V30015"));
}

TEST_F(PlatformActions, WriteReachesThePlatformAndTheNextQueryReturnsIt)
{
    LogIn();
    FetchTree({"P1001"});
    Select({"D2001:V30015"});
    notes.Clear();
    CWriteVariantAction write("D2001:V30015", "42.5", "P1001");
    EXPECT_TRUE(write.Request());
    EXPECT_TRUE(notes.Texts().empty()) << "a write shows no text of its own";

    const Json::Value request = platform.Requests("writeVariantById")[0];
    const Json::Value &pairs = request["pairs"];
    ASSERT_EQ(5u, pairs.size());
    EXPECT_EQ("reqCode", pairs[0][0].asString());
    EXPECT_EQ("sessionid", pairs[1][0].asString());
    EXPECT_EQ("id", pairs[2][0].asString());
    EXPECT_EQ("D2001:V30015", pairs[2][1].asString());
    EXPECT_EQ("projectId", pairs[3][0].asString());
    EXPECT_EQ("P1001", pairs[3][1].asString());
    EXPECT_EQ("value", pairs[4][0].asString());
    EXPECT_EQ("42.5", pairs[4][1].asString());

    CQueryVariantValueAction query;
    ASSERT_TRUE(query.Request());
    EXPECT_EQ("42.5", ValueOf("D2001:V30015"));
}

// A written text reaches a text variable as it is, whatever it holds.
TEST_F(PlatformActions, WrittenTextIsEncodedLikeEveryField)
{
    LogIn();
    CWriteVariantAction write("D2001:V30014", "运行中 & x=2%", "P1001"); // compiled as GBK
    EXPECT_TRUE(write.Request());
    const Json::Value request = platform.Requests("writeVariantById")[0];
    EXPECT_EQ(u8"运行中 & x=2%", request["fields"]["value"].asString());
    EXPECT_FALSE(request["fields"].isMember("x"));
}

TEST_F(PlatformActions, RefusedWriteIsOnlyAFailedRequest)
{
    LogIn();
    notes.Clear();
    CWriteVariantAction write("D2001:V30015", "1", "P1002");
    EXPECT_FALSE(write.Request());
    EXPECT_TRUE(write.Parsed());
    EXPECT_EQ(std::vector<std::string>{"请求被拒绝"}, notes.Texts());
}

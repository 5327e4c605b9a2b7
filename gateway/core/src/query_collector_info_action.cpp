// query_collector_info_action.cpp - CQueryCollectorInfoAction:
// "queryDeviceTree", the projects and devices of the account.
#include "query_collector_info_action.h"

#include "manager.h"

CQueryCollectorInfoAction::CQueryCollectorInfoAction() : COPCRequest("queryDeviceTree", "正在查询设备列表") {}

void CQueryCollectorInfoAction::AddParams()
{
    AddParam("sessionid", CManager::GetInstance().SessionId());
}

void CQueryCollectorInfoAction::OnResponse()
{
    CManager::GetInstance().ClearIndex();

    const Json::Value &projectList = Root()["projectList"];
    // Elements are fetched by index: a list that is an object ends the walk
    // with an exception at its first element.
    for (Json::ArrayIndex p = 0; p < projectList.size(); ++p) {
        const Json::Value &element = projectList[p];
        std::unique_ptr<CProject> project(new CProject);
        project->projectId = GetString(&element, "projectId");
        project->projectName = GetString(&element, "projectName");
        const Json::Value &deviceList = element["deviceList"];
        if (deviceList.isArray() && !deviceList.empty()) {
            for (Json::ArrayIndex d = 0; d < deviceList.size(); ++d) {
                const Json::Value &deviceElement = deviceList[d];
                CDevice *device = new CDevice;
                project->devices.push_back(device);
                device->deviceId = GetString(&deviceElement, "deviceId");
                device->name = GetString(&deviceElement, "name");
                device->serlnum = GetString(&deviceElement, "serlnum");
            }
        }
        projects.push_back(std::move(project));
    }
}

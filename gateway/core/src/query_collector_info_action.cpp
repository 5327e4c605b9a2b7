// query_collector_info_action.cpp - CQueryCollectorInfoAction:
// "queryDeviceTree", the projects and devices of the account.
#include "query_collector_info_action.h"

#include "manager.h"
#include "platform_replies.h"
#include "text_encoding.h"

CQueryCollectorInfoAction::CQueryCollectorInfoAction() : COPCRequest("queryDeviceTree", "正在查询设备列表") {}

void CQueryCollectorInfoAction::AddParams()
{
    AddParam("sessionid", CManager::GetInstance().SessionId());
}

void CQueryCollectorInfoAction::OnResponse()
{
    CManager::GetInstance().ClearIndex();

    std::vector<ReplyProject> replyProjects;
    if (!WalkDeviceTreeReply(Root(), Utf8ToGbk, replyProjects))
        MarkMalformed(); // the request fails: the dialog shows no project
    for (const ReplyProject &replyProject : replyProjects) {
        std::unique_ptr<CProject> project(new CProject);
        project->projectId = replyProject.projectId;
        project->projectName = replyProject.projectName;
        for (const ReplyDevice &replyDevice : replyProject.devices) {
            CDevice *device = new CDevice;
            project->devices.push_back(device);
            device->deviceId = replyDevice.deviceId;
            device->name = replyDevice.name;
            device->serlnum = replyDevice.serlnum;
        }
        projects.push_back(std::move(project));
    }
}

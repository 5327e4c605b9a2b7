// query_variant_info_action.cpp - CQueryVariantInfoAction:
// "queryVariantTree", the devices and variables of the chosen projects.
#include "query_variant_info_action.h"

#include "manager.h"
#include "platform_replies.h"
#include "record_names.h"
#include "text_encoding.h"

CQueryVariantInfoAction::CQueryVariantInfoAction() : COPCRequest("queryVariantTree", "正在查询变量列表") {}

void CQueryVariantInfoAction::AddParams()
{
    std::string ids;
    for (const std::string &projectId : projectIds)
        ids += projectId + ";";
    AddParam("sessionid", CManager::GetInstance().SessionId());
    AddParam("projectIds", ids);
}

void CQueryVariantInfoAction::OnResponse()
{
    std::vector<ReplyProject> replyProjects;
    if (!WalkVariantTreeReply(Root(), Utf8ToGbk, replyProjects))
        MarkMalformed(); // the projects complete before the fault are kept
    for (const ReplyProject &replyProject : replyProjects) {
        CProject *project = new CProject;
        project->projectId = replyProject.projectId;
        project->projectName = replyProject.projectName;
        for (const ReplyDevice &replyDevice : replyProject.devices) {
            CDevice *device = project->AddDevice(replyDevice.deviceId, replyDevice.name, replyDevice.serlnum);
            for (const ReplyVariable &replyVariable : replyDevice.variables) {
                CVariant *variant = device->AddVariant(replyVariable.variantId, replyVariable.name, replyVariable.type);
                // The element's own device id forms the key, not the enclosing device's.
                variant->key = ComposeVariableKey(replyVariable.deviceId, replyVariable.variantId);
            }
        }
        CManager::GetInstance().AddProject(project);
    }
}

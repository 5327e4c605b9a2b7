// query_variant_info_action.cpp - CQueryVariantInfoAction:
// "queryVariantTree", the devices and variables of the chosen projects.
#include "query_variant_info_action.h"

#include "manager.h"
#include "record_names.h"

#include <memory>

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
    const Json::Value &projectList = Root()["projectList"];
    for (Json::ArrayIndex p = 0; p < projectList.size(); ++p) {
        const Json::Value &element = projectList[p];
        // Dropped with what it holds when the walk ends inside it.
        std::unique_ptr<CProject> project(new CProject);
        project->projectId = GetString(&element, "projectId");
        project->projectName = GetString(&element, "projectName");
        const Json::Value &deviceList = element["deviceList"];
        for (Json::ArrayIndex d = 0; d < deviceList.size(); ++d) {
            const Json::Value &deviceElement = deviceList[d];
            CDevice *device = project->AddDevice(GetString(&deviceElement, "deviceId"),
                                                 GetString(&deviceElement, "name"),
                                                 GetString(&deviceElement, "serlnum"));
            const Json::Value &variantList = deviceElement["variantList"];
            for (Json::ArrayIndex v = 0; v < variantList.size(); ++v) {
                const Json::Value &variantElement = variantList[v];
                const std::string variantId = GetString(&variantElement, "variantId");
                CVariant *variant = device->AddVariant(variantId, GetString(&variantElement, "name"),
                                                       GetString(&variantElement, "type"));
                // The element's own device id forms the key, not the enclosing device's.
                variant->key = ComposeVariableKey(GetString(&variantElement, "deviceId"), variantId);
            }
        }
        CManager::GetInstance().AddProject(project.release());
    }
}

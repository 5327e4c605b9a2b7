// query_collector_info_action.h - CQueryCollectorInfoAction,
// "queryDeviceTree": the account's projects with their devices (no
// variables). The records belong to the caller; the data model's indexes
// are emptied when the reply arrives.
#pragma once

#include "opc_request.h"
#include "project.h"

#include <memory>
#include <vector>

class CQueryCollectorInfoAction : public COPCRequest {
public:
    CQueryCollectorInfoAction(); // shows "正在查询设备列表"

    // Output: the projects in the platform's order, each with its devices.
    std::vector<std::unique_ptr<CProject>> projects;

protected:
    void AddParams() override;
    void OnResponse() override;
};

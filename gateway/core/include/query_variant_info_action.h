// query_variant_info_action.h - CQueryVariantInfoAction, "queryVariantTree":
// the devices and variables of the chosen projects, appended to the data
// model's project tree (all variables unselected).
#pragma once

#include "opc_request.h"

#include <string>
#include <vector>

class CQueryVariantInfoAction : public COPCRequest {
public:
    CQueryVariantInfoAction(); // shows "正在查询变量列表"

    // Input: the project ids to fetch, sent as "A;B;".
    std::vector<std::string> projectIds;

protected:
    void AddParams() override;
    void OnResponse() override;
};

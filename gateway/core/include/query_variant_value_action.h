// query_variant_value_action.h - CQueryVariantValueAction,
// "queryVariantValueById": the values of all selected variables in one
// request, stored in the data model with their validity; a variable the
// reply leaves out is no longer current.
#pragma once

#include "opc_request.h"

#include <string>

class CQueryVariantValueAction : public COPCRequest {
public:
    CQueryVariantValueAction(); // shows "正在查询变量值"

protected:
    void AddParams() override;
    void OnResponse() override;

private:
    std::string m_selection; // the selection text sent
};

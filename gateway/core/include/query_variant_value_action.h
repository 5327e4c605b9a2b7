// query_variant_value_action.h - CQueryVariantValueAction,
// "queryVariantValueById": the values of all selected variables in one
// request, stored in the data model with their validity.
#pragma once

#include "opc_request.h"

class CQueryVariantValueAction : public COPCRequest {
public:
    CQueryVariantValueAction(); // shows "正在查询变量值"

protected:
    void AddParams() override;
    void OnResponse() override;
};

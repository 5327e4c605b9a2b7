// login_action.h - CLoginAction, "login": sends the account and password,
// stores the session id and department id in the data model and shows the
// logged-in state when the platform accepts.
#pragma once

#include "opc_request.h"

class CLoginAction : public COPCRequest {
public:
    CLoginAction(); // shows "正在登录云平台"
    CLoginAction(const std::string &account, const std::string &password);

    // Inputs (ANSI texts).
    std::string account;
    std::string password;
    // Outputs, from the reply (GBK).
    std::string message;   // "msg"
    std::string sessionId; // "sessionid"
    std::string deptId;    // "deptid"

protected:
    void AddParams() override;
    void OnResponse() override;
};

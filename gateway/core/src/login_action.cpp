// login_action.cpp - CLoginAction: "login" with account and password.
#include "login_action.h"

#include "manager.h"
#include "platform_replies.h"
#include "status_notifications.h"
#include "text_encoding.h"

CLoginAction::CLoginAction() : COPCRequest("login", "正在登录云平台") {}

CLoginAction::CLoginAction(const std::string &account, const std::string &password) : CLoginAction()
{
    this->account = account;
    this->password = password;
}

void CLoginAction::AddParams()
{
    AddEncodedParam("account", account);
    AddEncodedParam("password", password);
}

void CLoginAction::OnResponse()
{
    LoginReply reply;
    if (!WalkLoginReply(Root(), Utf8ToGbk, reply)) {
        MarkMalformed();
        return;
    }
    message = reply.message;
    sessionId = reply.sessionId;
    deptId = reply.deptId;

    CManager &manager = CManager::GetInstance();
    {
        auto lock = manager.Lock();
        manager.sessionId = sessionId;
        manager.deptId = deptId;
    }
    if (Success())
        ShowLoggedIn();
}

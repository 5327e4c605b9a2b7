// action_failure_text.h - what a message box says when a platform action
// of the dialogs failed: the request layer's text for what went wrong
// (network, time-out, certificate, HTTP status, unreadable reply), else the
// platform's own "msg" of a refused request, else "请求被拒绝".
#pragma once

#include <string>

class COPCRequest;

std::string ActionFailureText(const COPCRequest &action);

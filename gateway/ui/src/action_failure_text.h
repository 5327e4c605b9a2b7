// action_failure_text.h - what a message box says when a platform action
// of the dialogs failed: the action's error text, else the platform's own
// "msg" of a refused request, else the request layer's status text for the
// kind of failure.
#pragma once

#include <string>

class COPCRequest;

std::string ActionFailureText(const COPCRequest &action);

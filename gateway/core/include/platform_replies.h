// platform_replies.h - the walk of the platform's JSON replies: for each of
// the five operations, what the gateway takes from a parsed reply, as plain
// records. Portable (jsoncpp only); the conversion of reply texts to the
// program's code page is handed in, so the same walk serves the program
// (Win32 conversion) and the fuzz tests. No walk throws: a reply of a form
// the walk cannot take ends it with false, keeping what was complete before.
#pragma once

#include <json/value.h>

#include <string>
#include <vector>

// A reply text (UTF-8) in the program's code page.
typedef std::string (*ReplyTextConversion)(const std::string &utf8);

// The reply body as JSON; false when it is empty or not JSON (arrays and
// objects nested more than 1000 deep included).
bool ParseReplyBody(const std::string &body, Json::Value &root);

// The "success" member: true, or a number other than 0; null or missing is
// false. False as the result when it cannot be read as a flag (a text, an
// array, an object) or the root is not an object.
bool ReadReplySuccess(const Json::Value &root, bool &success);

// A member of object as text: a text as it is (converted), a number in
// decimal, a flag as "true" or "false", null or missing as "". False when
// the member is an array or an object, or object is neither an object nor
// null.
bool ReadReplyText(const Json::Value &object, const char *member, ReplyTextConversion convert,
                   std::string &text);

// "login".
struct LoginReply {
    std::string message;   // "msg"
    std::string sessionId; // "sessionid"
    std::string deptId;    // "deptid"
};
bool WalkLoginReply(const Json::Value &root, ReplyTextConversion convert, LoginReply &reply);

struct ReplyVariable {
    std::string deviceId; // the element's own device id
    std::string variantId;
    std::string name;
    std::string type;
};
struct ReplyDevice {
    std::string deviceId;
    std::string name;
    std::string serlnum;
    std::vector<ReplyVariable> variables; // "queryVariantTree" only
};
struct ReplyProject {
    std::string projectId;
    std::string projectName;
    std::vector<ReplyDevice> devices;
};

// "queryDeviceTree": "projectList", each with "deviceList" (a list that is
// not a non-empty array gives a project without devices). On false,
// projects holds the projects complete before the fault.
bool WalkDeviceTreeReply(const Json::Value &root, ReplyTextConversion convert, std::vector<ReplyProject> &projects);

// "queryVariantTree": "projectList", "deviceList", "variantList". On false,
// projects holds the projects complete before the fault.
bool WalkVariantTreeReply(const Json::Value &root, ReplyTextConversion convert,
                          std::vector<ReplyProject> &projects);

// "queryVariantValueById": one value of "variants" (device id -> variant id
// -> value). status "1" for a value, "0" for null or an empty array or
// object; value as jsoncpp renders a scalar, texts converted.
struct ReplyValue {
    std::string key; // device id ":" variant id
    std::string status;
    std::string value;
};
// On false (a value that is a non-empty array or object), values holds the
// values before it, in jsoncpp's member order.
bool WalkValueReply(const Json::Value &root, ReplyTextConversion convert, std::vector<ReplyValue> &values);

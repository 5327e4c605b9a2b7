// platform_replies.cpp - walking the platform's replies without exceptions:
// every member is checked for its form before jsoncpp is asked for it.
#include "platform_replies.h"

#include "record_names.h"

#include <json/reader.h>

#include <memory>

namespace {

// What jsoncpp's operator[] with a name accepts without throwing.
bool HasMembers(const Json::Value &value)
{
    return value.isObject() || value.isNull();
}

// What jsoncpp's operator[] with an index accepts without throwing: an
// array, or an empty list of another form (size 0, nothing fetched).
bool IndexableList(const Json::Value &list)
{
    return list.isArray() || list.isNull() || list.size() == 0;
}

bool IsScalar(const Json::Value &value)
{
    return !value.isArray() && !value.isObject();
}

bool ReadDevice(const Json::Value &element, ReplyTextConversion convert, ReplyDevice &device)
{
    return HasMembers(element) && ReadReplyText(element, "deviceId", convert, device.deviceId) &&
           ReadReplyText(element, "name", convert, device.name) &&
           ReadReplyText(element, "serlnum", convert, device.serlnum);
}

bool ReadProjectNames(const Json::Value &element, ReplyTextConversion convert, ReplyProject &project)
{
    return HasMembers(element) && ReadReplyText(element, "projectId", convert, project.projectId) &&
           ReadReplyText(element, "projectName", convert, project.projectName);
}

bool ReadVariables(const Json::Value &list, ReplyTextConversion convert, std::vector<ReplyVariable> &variables)
{
    if (!IndexableList(list))
        return false;
    for (Json::ArrayIndex v = 0; v < list.size(); ++v) {
        const Json::Value &element = list[v];
        ReplyVariable variable;
        if (!HasMembers(element) || !ReadReplyText(element, "variantId", convert, variable.variantId) ||
            !ReadReplyText(element, "name", convert, variable.name) ||
            !ReadReplyText(element, "type", convert, variable.type) ||
            !ReadReplyText(element, "deviceId", convert, variable.deviceId))
            return false;
        variables.push_back(std::move(variable));
    }
    return true;
}

} // namespace

bool ParseReplyBody(const std::string &body, Json::Value &root)
{
    if (body.empty())
        return false;
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception &) {
        // Nesting deeper than the reader's limit (1000) throws instead of
        // failing the parse.
        root = Json::Value();
        return false;
    }
}

bool ReadReplySuccess(const Json::Value &root, bool &success)
{
    success = false;
    if (!HasMembers(root))
        return false;
    const Json::Value &member = root["success"];
    if (!member.isNull() && !member.isBool() && !member.isNumeric())
        return false;
    success = member.asBool();
    return true;
}

bool ReadReplyText(const Json::Value &object, const char *member, ReplyTextConversion convert, std::string &text)
{
    if (!HasMembers(object))
        return false;
    const Json::Value &value = object[member];
    if (!IsScalar(value))
        return false;
    text = convert(value.asString());
    return true;
}

bool WalkLoginReply(const Json::Value &root, ReplyTextConversion convert, LoginReply &reply)
{
    return ReadReplyText(root, "msg", convert, reply.message) &&
           ReadReplyText(root, "sessionid", convert, reply.sessionId) &&
           ReadReplyText(root, "deptid", convert, reply.deptId);
}

namespace {

// "projectList" with its devices; with their variables for the variable
// tree. The device tree takes a "deviceList" that is not an array as none.
bool WalkProjectList(const Json::Value &root, ReplyTextConversion convert, bool withVariables,
                     std::vector<ReplyProject> &projects)
{
    if (!HasMembers(root))
        return false;
    const Json::Value &projectList = root["projectList"];
    if (!IndexableList(projectList))
        return false;
    for (Json::ArrayIndex p = 0; p < projectList.size(); ++p) {
        const Json::Value &element = projectList[p];
        ReplyProject project;
        if (!ReadProjectNames(element, convert, project))
            return false;
        const Json::Value &deviceList = element["deviceList"];
        if (withVariables ? !IndexableList(deviceList) : !deviceList.isArray()) {
            if (withVariables)
                return false;
            projects.push_back(std::move(project));
            continue;
        }
        for (Json::ArrayIndex d = 0; d < deviceList.size(); ++d) {
            const Json::Value &deviceElement = deviceList[d];
            ReplyDevice device;
            if (!ReadDevice(deviceElement, convert, device) ||
                (withVariables && !ReadVariables(deviceElement["variantList"], convert, device.variables)))
                return false;
            project.devices.push_back(std::move(device));
        }
        projects.push_back(std::move(project));
    }
    return true;
}

} // namespace

bool WalkDeviceTreeReply(const Json::Value &root, ReplyTextConversion convert, std::vector<ReplyProject> &projects)
{
    return WalkProjectList(root, convert, false, projects);
}

bool WalkVariantTreeReply(const Json::Value &root, ReplyTextConversion convert, std::vector<ReplyProject> &projects)
{
    return WalkProjectList(root, convert, true, projects);
}

bool WalkValueReply(const Json::Value &root, ReplyTextConversion convert, std::vector<ReplyValue> &values)
{
    if (!HasMembers(root))
        return false;
    const Json::Value &variants = root["variants"];
    if (!variants.isObject() && !variants.isArray())
        return true; // no values in this reply
    std::size_t count = values.size();
    for (auto device = variants.begin(); device != variants.end(); ++device) {
        if ((*device).isObject() || (*device).isArray())
            count += (*device).size();
    }
    values.reserve(count);
    for (auto device = variants.begin(); device != variants.end(); ++device) {
        const Json::Value &members = *device;
        if (!members.isObject() && !members.isArray())
            continue;
        const std::string deviceId = device.name();
        for (auto member = members.begin(); member != members.end(); ++member) {
            const Json::Value &value = *member;
            const bool empty = value.isNull() || ((value.isArray() || value.isObject()) && value.empty());
            if (!empty && !IsScalar(value))
                return false;
            ReplyValue entry;
            entry.key = ComposeVariableKey(deviceId, member.name());
            entry.status = empty ? "0" : "1";
            if (!empty)
                entry.value = value.isString() ? convert(value.asString()) : value.asString();
            values.push_back(std::move(entry));
        }
    }
    return true;
}

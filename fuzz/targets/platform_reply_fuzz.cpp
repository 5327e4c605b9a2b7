// platform_reply_fuzz.cpp - fuzz target of the platform reply walker (the
// JSON that comes back over the network). A reply body is parsed as the
// request layer does and walked as each of the five operations would walk
// it; no walk may throw, and what a walk returns must be complete records.
#include "platform_replies.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The program converts reply texts from UTF-8 to GBK through Win32; here
// texts pass as they are.
std::string AsItIs(const std::string &utf8)
{
    return utf8;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char *>(data), size);
    Json::Value root;
    if (!ParseReplyBody(body, root))
        return 0;
    try {
        // "writeVariantById" reads "success" only.
        bool success = false;
        ReadReplySuccess(root, success);

        LoginReply login;
        WalkLoginReply(root, AsItIs, login);

        std::vector<ReplyProject> devices;
        WalkDeviceTreeReply(root, AsItIs, devices);
        for (const ReplyProject &project : devices)
            for (const ReplyDevice &device : project.devices)
                Check(device.variables.empty());

        std::vector<ReplyProject> variables;
        WalkVariantTreeReply(root, AsItIs, variables);

        std::vector<ReplyValue> values;
        WalkValueReply(root, AsItIs, values);
        for (const ReplyValue &value : values) {
            Check(value.status == "0" || value.status == "1");
            Check(value.status == "1" || value.value.empty());
            Check(value.key.find(':') != std::string::npos);
        }
    } catch (...) {
        std::abort(); // a walk must end with false, never with an exception
    }
    return 0;
}

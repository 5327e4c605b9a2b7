// server_address_check.cpp - host and port checks of the server settings.
#include "server_address_check.h"

#include "platform_address.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

const char kPortNotIntegerMessage[] = "请输入整数。";
const char kPortRangeMessage[] = "请输入介于 1 和 65535 之间的整数。";

bool ParsePortText(const std::string &text, int &port)
{
    std::string::size_type begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return false;
    std::string::size_type end = text.find_last_not_of(" \t") + 1;
    const std::string number = text.substr(begin, end - begin);
    std::string::size_type digits = (number[0] == '+' || number[0] == '-') ? 1 : 0;
    if (digits >= number.size())
        return false;
    for (std::string::size_type i = digits; i < number.size(); ++i)
        if (number[i] < '0' || number[i] > '9')
            return false;
    errno = 0;
    const long value = std::strtol(number.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    port = static_cast<int>(value);
    return true;
}

const char *HostCheckMessage(const std::string &host)
{
    switch (ParsePlatformHost(host, nullptr)) {
    case HostProblem::kNone:
        return nullptr;
    case HostProblem::kEmpty:
        return "请输入服务器域名或IP!";
    case HostProblem::kBlank:
        return "服务器域名或IP中不能带有空格!";
    case HostProblem::kFinalSlash:
        return "服务器域名末尾不要添加斜杠!";
    case HostProblem::kPort:
        return "服务器域名格式错误, 不要带端口!";
    case HostProblem::kPortRange:
        return "服务器域名中的端口无效, 端口应在1到65535之间!";
    case HostProblem::kFormat:
        break;
    }
    return "服务器域名格式错误!";
}

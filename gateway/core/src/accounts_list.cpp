// accounts_list.cpp - parsing, appending and writing the remembered user names.
#include "accounts_list.h"

#include <algorithm>

namespace {

std::string Trimmed(const std::string &text)
{
    const std::string::size_type first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const std::string::size_type last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> ParseAccountsList(const std::string &text)
{
    std::vector<std::string> accounts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(';', start);
        const std::string piece = Trimmed(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!piece.empty())
            accounts.push_back(piece);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return accounts;
}

bool AppendAccount(std::vector<std::string> &accounts, const std::string &name)
{
    if (std::find(accounts.begin(), accounts.end(), name) != accounts.end())
        return false;
    accounts.push_back(name);
    while (accounts.size() > kMaxAccounts)
        accounts.erase(accounts.begin());
    return true;
}

std::string FormatAccountsList(const std::vector<std::string> &accounts)
{
    std::string text;
    for (const std::string &account : accounts)
        text += account + ";";
    return text;
}

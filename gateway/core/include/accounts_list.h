// accounts_list.h - the rules of the remembered user names kept in the
// settings value "accounts": entries each followed by ";".
#pragma once

#include <string>
#include <vector>

const std::size_t kMaxAccounts = 10;

// Splits at every ";", trims blanks from both ends, drops empty pieces.
std::vector<std::string> ParseAccountsList(const std::string &text);

// Appends name unless an equal entry (exact, case-sensitive) is there; then
// drops the oldest entries beyond kMaxAccounts. False when nothing changed.
bool AppendAccount(std::vector<std::string> &accounts, const std::string &name);

// Every entry followed by ";".
std::string FormatAccountsList(const std::vector<std::string> &accounts);

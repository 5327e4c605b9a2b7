// command_line.cpp - argument parsing of opccli.
#include "command_line.h"

#include <set>

namespace {
const std::set<std::string> kValueOptions = {"--seconds", "--rate", "--type", "--count",
                                             "--max-age", "--page"};
}

std::string CommandLine::Option(const std::string &name, const std::string &fallback) const
{
    auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

CommandLine ParseCommandLine(int argc, char **argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (kValueOptions.count(arg) != 0 && i + 1 < argc)
                line.options[arg] = argv[++i];
            else
                line.options[arg] = "";
        } else if (line.command.empty()) {
            line.command = arg;
        } else {
            line.arguments.push_back(arg);
        }
    }
    return line;
}

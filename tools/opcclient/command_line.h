// command_line.h - parsing of opccli's arguments: a subcommand, positional
// arguments and --options.
#pragma once

#include <map>
#include <string>
#include <vector>

struct CommandLine {
    std::string command;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> options; // "--name value" or "--flag" -> ""

    bool Has(const std::string &name) const { return options.count(name) != 0; }
    std::string Option(const std::string &name, const std::string &fallback) const;
};

// Options that take a value; every other --option is a flag.
CommandLine ParseCommandLine(int argc, char **argv);

// commands.h - opccli's subcommands; each returns the process exit code.
#pragma once

#include "command_line.h"

int RunList(const CommandLine &line);
int RunStatus(const CommandLine &line);
int RunBrowse(const CommandLine &line);
int RunBrowse3(const CommandLine &line);
int RunProperties(const CommandLine &line);
int RunRead(const CommandLine &line);
int RunWrite(const CommandLine &line);
int RunSubscribe(const CommandLine &line);

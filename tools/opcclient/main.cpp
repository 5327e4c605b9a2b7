// opccli - command-line OPC DA client.
//   opccli list                               registered OPC DA servers
//   opccli status <server>                    server status
//   opccli browse <server> [--flat]           the item hierarchy
//   opccli browse3 <server> [<branch>] [--page N] [--properties]
//                                             the same through IOPCBrowse (DA 3.0)
//   opccli properties <server> <item>         item properties
//   opccli read <server> <item>... [--device | --max-age ms]   current values
//   opccli write <server> <item> <type> <value>
//   opccli subscribe <server> <item>... [--rate ms] [--seconds N] [--count N]
// <server> is a ProgID or a class id in braces. Exit code 0 on success;
// 2 usage, 3 server not registered, 4 cannot connect, 5 unknown item,
// 6 access denied, 7 other failure.
#include "commands.h"
#include "server_connection.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    CommandLine line = ParseCommandLine(argc, argv);
    struct Command {
        const char *name;
        int (*run)(const CommandLine &);
    };
    const Command commands[] = {
        {"list", RunList},           {"status", RunStatus}, {"browse", RunBrowse},
        {"browse3", RunBrowse3},
        {"properties", RunProperties}, {"read", RunRead},   {"write", RunWrite},
        {"subscribe", RunSubscribe},
    };
    for (const Command &command : commands) {
        if (line.command != command.name)
            continue;
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            std::fprintf(stderr, "opccli: COM initialisation failed\n");
            return kExitFailed;
        }
        int code = command.run(line);
        CoUninitialize();
        return code;
    }
    std::fprintf(stderr,
                 "usage: opccli list | status <server> | browse <server> [--flat] |\n"
                 "       browse3 <server> [<branch>] [--page N] [--properties] |\n"
                 "       properties <server> <item> | read <server> <item>... [--device | --max-age ms] |\n"
                 "       write <server> <item> <type> <value> |\n"
                 "       subscribe <server> <item>... [--rate ms] [--seconds N] [--count N]\n");
    return kExitUsage;
}

// server_list.h - the OPC DA servers registered on this machine, found
// through their component categories (DA 1.0, 2.0, 3.0).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegisteredServer {
    CLSID clsid;
    std::string progId;
    std::string description;
    std::string versions; // "1.0 2.0 3.0"
};

bool ListServers(std::vector<RegisteredServer> &servers, std::string *error);

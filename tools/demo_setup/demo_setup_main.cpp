// demo_setup_main.cpp - prepares an installation directory for a demo run
// of Lumaret, with the gateway's own code:
//   lumaret_demo_setup <dir> <host> <port> <account> <password> <project id> <variables>
// writes <dir>\Lumaret.ini (host, port), logs in to the platform, fetches the
// project's devices and variables, selects variables of known types and
// saves the project file in <dir> with the credentials, as a submit after a
// login does. <variables> is either a number (that many, the first ones of
// each device in turn) or a comma-separated list of variable names.
// Prints the selected item IDs; exit code 0 on success.
#include "login_action.h"
#include "manager.h"
#include "platform_address.h"
#include "query_variant_info_action.h"
#include "settings.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Fail(const char *what)
{
    std::fprintf(stderr, "demo setup: %s\n", what);
    return 1;
}

std::string ProjectFileName()
{
    const std::string path = CManager::ProjectFilePath();
    return path.substr(path.find_last_of("\\/") + 1);
}

// Up to count variables, taking one from every device in turn so that each
// device contributes.
int SelectVariables(CManager &manager, int count)
{
    int selected = 0;
    for (size_t round = 0; selected < count; ++round) {
        bool any = false;
        for (CProject *project : manager.projects) {
            for (CDevice *device : project->devices) {
                if (round >= device->variants.size() || selected >= count)
                    continue;
                any = true;
                CVariant *variant = device->variants[round];
                if (manager.TypeCodeOf(variant->typeName) == 0)
                    continue;
                variant->checked = true;
                ++selected;
            }
        }
        if (!any)
            break;
    }
    for (CProject *project : manager.projects) {
        for (CDevice *device : project->devices)
            device->ApplySelection();
    }
    return selected;
}

// The variables with these names, in any device.
int SelectByName(CManager &manager, const std::string &names)
{
    int selected = 0;
    for (CProject *project : manager.projects) {
        for (CDevice *device : project->devices) {
            for (CVariant *variant : device->variants) {
                const std::string wanted = "," + names + ",";
                if (wanted.find("," + variant->name + ",") != std::string::npos &&
                    manager.TypeCodeOf(variant->typeName) != 0) {
                    variant->checked = true;
                    ++selected;
                }
            }
            device->ApplySelection();
        }
    }
    return selected;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 8)
        return Fail("usage: lumaret_demo_setup <dir> <host> <port> <account> <password> <project id> <variables>");
    const std::string dir = argv[1];
    CSettings settings(dir + "\\Lumaret.ini");
    if (!settings.WriteHost(argv[2]) || !settings.WritePort(std::atoi(argv[3])))
        return Fail("cannot write the settings file");
    SetPlatformAddress(ReadPlatformAddress(settings));

    CManager &manager = CManager::GetInstance();
    CLoginAction login(argv[4], argv[5]);
    if (!login.Request())
        return Fail("login refused or platform unreachable");

    CQueryVariantInfoAction tree;
    tree.projectIds.push_back(argv[6]);
    {
        auto lock = manager.Lock();
        manager.ClearProjects();
    }
    if (!tree.Request())
        return Fail("variable tree not received");

    auto lock = manager.Lock();
    const std::string wanted = argv[7];
    const bool byCount = !wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos;
    const int selected = byCount ? SelectVariables(manager, std::atoi(wanted.c_str()))
                                 : SelectByName(manager, wanted);
    if (selected == 0)
        return Fail("no variable of a known type in this project");
    manager.running = true;
    manager.RebuildIndex();
    manager.userName = argv[4];
    manager.password = settings.RememberPassword() != 0 ? argv[5] : "";
    if (!manager.SaveTo(dir + "\\" + ProjectFileName()))
        return Fail("cannot save the project file");
    for (const auto &entry : manager.itemIdIndex)
        std::printf("selected %s %s\n", entry.first.c_str(), entry.second->typeName.c_str());
    std::printf("saved %s\n", (dir + "\\" + ProjectFileName()).c_str());
    return 0;
}

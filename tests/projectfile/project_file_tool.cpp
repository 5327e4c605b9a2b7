// project_file_tool - the gateway's project file code in a process of its
// own, for tests that end that process.
//   project_file_tool save-loop <path>  saves a tree of 20,000 variables
//                                       over and over, another user name each
//                                       round; sets the saved event after
//                                       the first complete save
//   project_file_tool load <path>       loads the file; exit code 0 when
//                                       it was loaded, 1 when not
#include "manager.h"

#include <windows.h>

#include <string>

namespace {

const char kSavedEvent[] = "LumaretProjectFileSaved";
const DWORD kLifetimeMs = 180000;
const int kDevices = 200;
const int kVariablesPerDevice = 100;

void BuildTree(CManager &manager)
{
    CProject *project = new CProject;
    project->projectId = "30001";
    project->projectName = "Plant";
    for (int device = 0; device < kDevices; ++device) {
        CDevice *record = project->AddDevice(std::to_string(1000000 + device), "Collector" + std::to_string(device),
                                             "SN" + std::to_string(device));
        for (int index = 0; index < kVariablesPerDevice; ++index) {
            CVariant *variant = record->AddVariant(std::to_string(20000000 + device * 100 + index),
                                                   "Variable" + std::to_string(index), "float32");
            variant->checked = index % 2 == 0;
            variant->value = "23.45";
            variant->valid = true;
        }
        record->ApplySelection();
    }
    manager.AddProject(project);
    manager.RebuildIndex();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    const std::string path = argv[2];
    CManager manager;
    if (mode == "load")
        return manager.LoadFrom(path) ? 0 : 1;
    if (mode != "save-loop")
        return 2;

    HANDLE saved = CreateEventA(nullptr, TRUE, FALSE, kSavedEvent);
    BuildTree(manager);
    const DWORD started = GetTickCount();
    for (int round = 0; GetTickCount() - started < kLifetimeMs; ++round) {
        manager.SetUserName("round-" + std::to_string(round));
        if (manager.SaveTo(path))
            SetEvent(saved);
    }
    return 0;
}

// segment_test_writer - the gateway side of the two-process segment tests:
// a manager with one device of five variables, published by the segment
// writer thread.
//   segment_test_writer script  publishes the stages of the script, one
//                               more each time the next-stage event is set
//   segment_test_writer die     publishes the first stage; when the die
//                               event is set, it announces another snapshot,
//                               leaves it half written and ends holding the
//                               mutex
#include "segment_script.h"

#include "mapping_server.h"
#include "manager.h"


#include <windows.h>

#include <cstring>
#include <thread>

namespace {

// Helpers end on their own if a test forgets them.
const DWORD kLifetimeMs = 180000;

CDevice *BuildTree(CManager &manager)
{
    CProject *project = new CProject;
    project->projectId = "P-1";
    project->projectName = "P";
    CDevice *device = project->AddDevice("D1", "Dev1", "S-1");
    for (int index = 1; index <= 5; ++index)
        device->AddVariant("V" + std::to_string(index), "Name" + std::to_string(index), "int32");
    manager.AddProject(project);
    return device;
}

void ApplyStage(CManager &manager, CDevice &device, const ScriptStage &stage)
{
    auto lock = manager.Lock();
    for (CVariant *variant : device.variants)
        variant->checked = false;
    for (const ScriptValue &value : stage.selection)
        for (CVariant *variant : device.variants)
            if (variant->variantId == value.id)
                variant->checked = true;
    device.ApplySelection();
    manager.RebuildIndex();
    for (const ScriptValue &value : stage.selection)
        manager.UpdateValue("D1:" + value.id, value.valid ? "1" : "0", value.value);
}

// Takes the mutex, announces a new snapshot in the header, writes half of
// it over the current one in the data mapping, and ends without releasing.
void DieHalfWay(XFileMapping &server)
{
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kSegmentMutexName);
    WaitForSingleObject(mutex, INFINITE);
    SegmentHeader *header = static_cast<SegmentHeader *>(server.GetMappingAddress());
    const std::string name = kSegmentDataPrefix + std::to_string(header->dataNumber);
    HANDLE data = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    char *view = data != nullptr ? static_cast<char *>(MapViewOfFile(data, FILE_MAP_ALL_ACCESS, 0, 0, 0)) : nullptr;
    ++header->generation;
    ++header->heartbeat;
    if (view != nullptr) {
        // The second half of the snapshot is not written yet.
        const std::size_t half = header->dataSize / 2;
        std::memset(view + half, 0, header->dataSize - half);
        header->recordCount = 3;
    }
    ExitProcess(0);
}

// The gateway's writer, without its debug texts on the test's output.
class CQuietServer : public CMappingServer {
public:
    using CMappingServer::CMappingServer;
    void Trace(const char * /*text*/) override {}
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    HANDLE nextStage = CreateEventA(nullptr, FALSE, FALSE, kNextStageEvent);
    HANDLE die = CreateEventA(nullptr, TRUE, FALSE, kDieEvent);

    CManager manager;
    CDevice *device = BuildTree(manager);
    const std::vector<ScriptStage> script = SegmentScript();
    ApplyStage(manager, *device, script[0]);

    CQuietServer server([&manager](CSegmentSnapshotWriter &snapshot) { return manager.SaveSelection(snapshot); },
                        [&manager] { return manager.PublishGeneration(); });
    std::thread writer([&server] { server.ThreadServer(); });

    const DWORD started = GetTickCount();
    if (mode == "script") {
        std::size_t stage = 0;
        while (GetTickCount() - started < kLifetimeMs) {
            if (WaitForSingleObject(nextStage, 200) == WAIT_OBJECT_0 && stage + 1 < script.size())
                ApplyStage(manager, *device, script[++stage]);
        }
    } else if (mode == "die") {
        if (WaitForSingleObject(die, kLifetimeMs) == WAIT_OBJECT_0) {
            server.RequestStop();
            writer.join();
            DieHalfWay(server);
        }
    }
    ExitProcess(0);
}

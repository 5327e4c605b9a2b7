// segment_bench - cost of the shared data segment for 1,000, 10,000 and
// 100,000 selected variables, with ids and GBK names of realistic length and
// with compact ones: the size of a snapshot's layout and values, the time to
// write and to read a new layout, and the values when every one changed,
// and a writer and reader cycle when nothing changed. Writer and reader are
// in this one process; prints figures.
#include "mapping_client.h"
#include "mapping_server.h"
#include "manager.h"

#include <windows.h>

#include <cstdio>
#include <vector>
#include <string>

namespace {

const int kVariablesPerDevice = 100;
const char kProjectName[] = "\xCB\xAE\xB3\xA7\xD2\xBB\xC6\xDA";   // GBK: a plant name, 4 characters
const char kDeviceName[] = "\xB2\xC9\xBC\xAF\xC6\xF7";              // GBK: collector
const char kVariableName[] = "\xB3\xF6\xCB\xAE\xCE\xC2\xB6\xC8";    // GBK: outlet temperature

// Writer and reader without their debug texts.
class CQuietServer : public CMappingServer {
public:
    using CMappingServer::CMappingServer;
    void Trace(const char * /*text*/) override {}
};

class CQuietClient : public CMappingClient {
public:
    void Trace(const char * /*text*/) override {}
};

class CStopwatch {
public:
    CStopwatch()
    {
        QueryPerformanceFrequency(&m_frequency);
        QueryPerformanceCounter(&m_start);
    }
    double Milliseconds() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(m_frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

// Realistic: platform ids of 7 and 8 digits, GBK names of 3 to 4
// characters plus a number. Compact: short ids and ASCII names.
void BuildSelection(CManager &manager, int variables, bool compact)
{
    CProject *project = new CProject;
    project->projectId = "30001";
    project->projectName = compact ? "P" : kProjectName;
    for (int device = 0; device < variables / kVariablesPerDevice; ++device) {
        const std::string deviceId = compact ? std::to_string(device) : std::to_string(1000000 + device);
        const std::string deviceName = compact ? "D" + std::to_string(device) : kDeviceName + std::to_string(device + 1);
        CDevice *record = project->AddDevice(deviceId, deviceName, "SN2023" + std::to_string(100000 + device));
        for (int index = 0; index < kVariablesPerDevice; ++index) {
            const int number = device * kVariablesPerDevice + index;
            const std::string variantId = compact ? std::to_string(number) : std::to_string(20000000 + number);
            const std::string name = compact ? "T" + std::to_string(index) : kVariableName + std::to_string(index + 1);
            CVariant *variant = record->AddVariant(variantId, name, "float32");
            variant->checked = true;
            variant->value = "23.45";
            variant->valid = true;
        }
        record->ApplySelection();
    }
    manager.AddProject(project);
    manager.RebuildIndex();
}

// A new value for every variable, as one poll reply of changed values.
void ChangeEveryValue(CManager &manager, int round)
{
    const std::string value = "23." + std::to_string(round);
    auto lock = manager.Lock();
    for (auto &entry : manager.keyIndex)
        manager.UpdateValue(entry.first, "1", value, 1);
}

void Measure(int variables, bool compact)
{
    CManager manager;
    BuildSelection(manager, variables, compact);
    CQuietServer server([&manager](CSegmentSnapshotWriter &snapshot) { return manager.SaveSelection(snapshot); },
                        [&manager] { return manager.PublishGeneration(); });
    CQuietClient client;
    std::vector<PublishedValue> taken;
    client.m_onSnapshot = [&taken](const std::vector<PublishedLayout> &, std::uint32_t,
                                   std::vector<PublishedValue> &values) { taken.swap(values); };
    if (server.InitMapping() == nullptr || client.InitMapping() == nullptr) {
        std::printf("%7d variables: segment not available\n", variables);
        return;
    }
    const char *names = compact ? "compact " : "realistic";
    const int rounds = variables >= 100000 ? 5 : 20;

    // The first snapshot brings the layout: written and parsed whole.
    CStopwatch firstWrite;
    if (!server.WriteSnapshot()) {
        std::printf("%7d variables, %s names: the snapshot could not be stored\n", variables, names);
        return;
    }
    const double layoutWriteMs = firstWrite.Milliseconds();
    CStopwatch firstRead;
    if (client.ReadSnapshot() == XFileMapping::ReadResult::kNewSnapshot)
        client.OnContent();
    const double layoutReadMs = firstRead.Milliseconds();
    const SegmentHeader &header = *static_cast<const SegmentHeader *>(server.GetMappingAddress());
    const std::size_t layoutBytes = header.layoutSize;
    const std::size_t valuesBytes = header.dataSize - header.layoutSize;

    // Every value changed before each cycle: the values written, and parsed
    // by the reader.
    double changedWriteMs = 0;
    double changedReadMs = 0;
    for (int round = 0; round < rounds; ++round) {
        ChangeEveryValue(manager, round);
        CStopwatch write;
        server.WriteSnapshot();
        changedWriteMs += write.Milliseconds();
        CStopwatch read;
        if (client.ReadSnapshot() == XFileMapping::ReadResult::kNewSnapshot)
            client.OnContent();
        changedReadMs += read.Milliseconds();
    }
    // Nothing changed: the heartbeat only, and nothing to parse.
    CStopwatch idle;
    for (int round = 0; round < rounds; ++round) {
        server.WriteSnapshot();
        client.ReadSnapshot();
    }
    const double idleMs = idle.Milliseconds() / rounds;

    std::printf("%7d variables, %s names: layout %9zu bytes, values %8zu bytes (%5.1f bytes/record; data mapping "
                "of %u bytes)\n"
                "        new layout: write %6.2f ms, read %6.2f ms; all values changed: write %6.2f ms, read %6.2f ms; "
                "unchanged: writer and reader cycle %.3f ms; records taken %zu\n",
                variables, names, layoutBytes, valuesBytes, static_cast<double>(valuesBytes) / variables,
                header.dataCapacity, layoutWriteMs, layoutReadMs, changedWriteMs / rounds, changedReadMs / rounds,
                idleMs, taken.size());
}

} // namespace

int main()
{
    std::printf("shared data segment, %zu-bit build\n", sizeof(void *) * 8);
    for (bool compact : {false, true})
        for (int variables : {1000, 10000, 100000})
            Measure(variables, compact);
    return 0;
}

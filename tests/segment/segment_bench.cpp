// segment_bench - time to write and to read one snapshot of the shared data
// segment, and its size per record, for 1,000, 10,000 and 100,000 selected
// variables, once with ids and GBK names of realistic length and once with
// compact ones. Writer and reader are in this one process; prints figures.
#include "mapping_client.h"
#include "mapping_server.h"
#include "manager.h"

#include <boost/archive/binary_oarchive.hpp>

#include <windows.h>

#include <cstdio>
#include <sstream>
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

// Size of the whole snapshot, measured outside the segment.
std::size_t SnapshotSize(const CManager &manager)
{
    std::ostringstream buffer;
    {
        boost::archive::binary_oarchive archive(buffer);
        const std::int64_t stamp = 0;
        archive << stamp;
        manager.SaveSelection(archive);
    }
    return buffer.str().size();
}

void Measure(int variables, bool compact)
{
    CManager manager;
    BuildSelection(manager, variables, compact);
    CQuietServer server([&manager](boost::archive::binary_oarchive &archive) { manager.SaveSelection(archive); });
    CQuietClient client;
    if (server.InitMapping() == nullptr || client.InitMapping() == nullptr) {
        std::printf("%7d variables: segment not available\n", variables);
        return;
    }
    const char *names = compact ? "compact " : "realistic";

    const int rounds = variables >= 100000 ? 5 : 20;
    CStopwatch firstWrite;
    const bool fits = server.WriteSnapshot();
    const double firstWriteMs = firstWrite.Milliseconds();
    const std::size_t snapshotBytes = server.LastSnapshotSize();
    const std::size_t header = 48 + sizeof(std::size_t) - 4; // archive header, stamp, count
    if (!fits) {
        const std::size_t needed = SnapshotSize(manager);
        std::printf("%7d variables, %s names: %9zu bytes needed, %6.1f bytes/record: does NOT fit into %zu bytes "
                    "(failed write %.2f ms; the reader keeps its records)\n",
                    variables, names, needed, static_cast<double>(needed - header) / variables, kSegmentSize,
                    firstWriteMs);
        return;
    }
    CStopwatch writes;
    for (int round = 0; round < rounds; ++round)
        server.WriteSnapshot();
    const double writeMs = writes.Milliseconds() / rounds;

    CStopwatch firstRead;
    client.ReadSnapshot();
    const double firstReadMs = firstRead.Milliseconds();
    CStopwatch reads;
    for (int round = 0; round < rounds; ++round)
        client.ReadSnapshot();
    const double readMs = reads.Milliseconds() / rounds;

    const double perRecord = static_cast<double>(snapshotBytes - header) / variables;
    std::printf("%7d variables, %s names: %9zu bytes, %6.1f bytes/record, write %7.2f ms, first read %7.2f ms, "
                "reload %7.2f ms, fits: yes (room for about %.0f such records)\n",
                variables, names, snapshotBytes, perRecord, writeMs, firstReadMs, readMs,
                static_cast<double>(kSegmentSize - header) / perRecord);
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

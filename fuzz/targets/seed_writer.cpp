// seed_writer.cpp - writes the seed project files of corpus/project_file/
// with the product's own save code: an empty manager, the tree of one
// variable, and a tree with several projects, devices, selections, group
// names and last values (GBK names included); with a second folder also
// the segment snapshots of corpus/segment_snapshot/ (empty, the worked
// example, several records of every quality).
//   fuzz_seed_writer <project file folder> [<snapshot folder>]
#include "project_archive.h"
#include "segment_records.h"

#include <boost/archive/binary_oarchive.hpp>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool Write(const std::string &path, const CManager &manager)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return file && WriteProjectArchive(file, manager);
}

// A fuzz input of the snapshot reader: the uint32 layout size, then the
// layout and the values archives.
bool WriteSnapshot(const std::string &path, const std::vector<CVariant> &records)
{
    std::size_t layoutSize = 0;
    const std::string bytes = EncodeSegmentSnapshot(records, layoutSize);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file || bytes.empty())
        return false;
    const std::uint32_t announced = static_cast<std::uint32_t>(layoutSize);
    file.write(reinterpret_cast<const char *>(&announced), sizeof(announced));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

bool WriteSnapshots(const std::string &folder)
{
    CVariant example;
    example.key = "D1:V1";
    example.variantId = "V1";
    example.itemId = "P.D.T";
    example.name = "T";
    example.typeName = "int32";
    example.value = "7";
    example.valid = true;
    example.typeCode = 5;
    example.selected = true;
    example.quality = kQualityGood;
    example.timestamp = 0x01DB000000000001ULL;
    std::vector<CVariant> several;
    const std::uint16_t qualities[] = {kQualityGood, kQualityBad, kQualityLastKnown, kQualityCommFailure,
                                       kQualityWaiting};
    for (int i = 0; i < 5; ++i) {
        CVariant record = example;
        record.key = "D2:V" + std::to_string(i);
        record.itemId = "\xD2\xBB\xBA\xC5.Line.v" + std::to_string(i); // GBK
        record.quality = qualities[i];
        record.valid = qualities[i] == kQualityGood;
        record.value = record.valid ? "12.5" : "";
        record.typeCode = static_cast<std::int8_t>(i == 4 ? 11 : 9);
        several.push_back(record);
    }
    return WriteSnapshot(folder + "/empty", {}) && WriteSnapshot(folder + "/worked-example", {example}) &&
           WriteSnapshot(folder + "/every-quality", several);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seed_writer <project file folder> [<snapshot folder>]\n");
        return 2;
    }
    if (argc == 3 && !WriteSnapshots(argv[2]))
        return 1;
    const std::string folder = argv[1];
    bool written = true;

    CManager empty;
    written = Write(folder + "/empty-manager", empty) && written;

    CManager one;
    one.userName = "operator";
    one.password = "secret";
    one.deptId = "7";
    CProject *project = new CProject;
    project->projectId = "P";
    project->projectName = "Plant";
    CVariant *variant = project->AddDevice("D1", "PLC", "SN-1")->AddVariant("V1", "T", "int32");
    variant->selected = true;
    variant->valid = true;
    variant->value = "7";
    one.AddProject(project);
    one.RebuildIndex();
    written = Write(folder + "/one-variable", one) && written;

    CManager tree;
    tree.userName = "\xB2\xD9\xD7\xF7"; // GBK
    for (int p = 0; p < 2; ++p) {
        CProject *each = new CProject;
        each->projectId = "P100" + std::to_string(p);
        each->projectName = p == 0 ? "Demo Plant" : "\xD2\xBB\xBA\xC5\xB1\xC3\xD5\xBE";
        for (int d = 0; d < 3; ++d) {
            CDevice *device = each->AddDevice("D2" + std::to_string(p) + std::to_string(d), "Dev" + std::to_string(d),
                                              "S" + std::to_string(d));
            for (int v = 0; v < 3; ++v) {
                CVariant *record = device->AddVariant("V3" + std::to_string(v), "var" + std::to_string(v),
                                                      v == 0 ? "float32" : v == 1 ? "bool" : "string");
                record->checked = record->selected = (v + d) % 2 == 0;
                record->valid = record->selected;
                record->value = record->valid ? "12.5" : "";
            }
            device->ApplySelection();
        }
        tree.AddProject(each);
    }
    tree.SetGroupName("", *tree.projects[0]->devices[1]);
    tree.SetGroupName("Area", *tree.projects[1]->devices[2]);
    tree.RebuildIndex();
    written = Write(folder + "/tree", tree) && written;
    return written ? 0 : 1;
}

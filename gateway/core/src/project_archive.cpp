// project_archive.cpp - writing and reading the project file's archive.
// Reading goes through the bounded archive, so damaged lengths, counts and
// record references are refused before anything is allocated; a tree that
// the load leaves half-built is destroyed record by record.
#include "project_archive.h"

#include "bounded_binary_iarchive.h"

#include <boost/archive/binary_oarchive.hpp>

#include <set>
#include <string>

namespace {

const char kVersionTag[5] = "2.01";

// A loaded tree in which a record shows up twice (a damaged file can make
// the archive list one record in two places) is not taken.
bool EveryRecordOnce(const std::vector<CProject *> &projects)
{
    std::set<const void *> seen;
    for (const CProject *project : projects) {
        if (project == nullptr || !seen.insert(project).second)
            return false;
        for (const CDevice *device : project->devices) {
            if (device == nullptr || !seen.insert(device).second)
                return false;
            for (const CVariant *variant : device->variants)
                if (variant == nullptr || !seen.insert(variant).second)
                    return false;
        }
    }
    return true;
}

// Drops a rejected or half-built tree: every record once, however often
// the lists name it.
void DiscardTree(std::vector<CProject *> &projects)
{
    std::set<CProject *> projectSet(projects.begin(), projects.end());
    projectSet.erase(nullptr);
    projects.clear();
    std::set<CDevice *> deviceSet;
    for (CProject *project : projectSet) {
        deviceSet.insert(project->devices.begin(), project->devices.end());
        project->devices.clear();
    }
    deviceSet.erase(nullptr);
    std::set<CVariant *> variantSet;
    for (CDevice *device : deviceSet) {
        variantSet.insert(device->variants.begin(), device->variants.end());
        device->variants.clear();
    }
    variantSet.erase(nullptr);
    for (CVariant *variant : variantSet)
        delete variant;
    for (CDevice *device : deviceSet)
        delete device;
    for (CProject *project : projectSet)
        delete project;
}

} // namespace

bool WriteProjectArchive(std::ostream &out, const CManager &manager)
{
    try {
        boost::archive::binary_oarchive archive(out);
        archive << kVersionTag;
        archive << manager;
    } catch (const std::exception &) {
        return false;
    }
    return !out.fail();
}

bool ReadProjectArchive(const char *data, std::size_t size, CManager &loaded)
{
    bool readable = false;
    if (size <= kMaxProjectFileBytes) {
        try {
            CBoundedBinaryIArchive archive(data, size);
            std::string versionTag; // its content is not compared with anything
            archive >> versionTag;
            archive >> loaded;
            readable = true;
        } catch (const std::exception &) {
        }
    }
    if (readable)
        readable = EveryRecordOnce(loaded.projects);
    if (!readable)
        DiscardTree(loaded.projects);
    return readable;
}

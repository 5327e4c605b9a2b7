// project_file_fuzz.cpp - fuzz target of the project file loader (a file on
// disk that may be damaged or foreign). Whatever the bytes, the load ends
// with a tree or with nothing, without touching memory it does not own; a
// tree that loads saves and loads again to the same bytes.
#include "project_archive.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string Saved(const CManager &manager)
{
    std::ostringstream out;
    Check(WriteProjectArchive(out, manager));
    return out.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    CManager loaded;
    if (!ReadProjectArchive(reinterpret_cast<const char *>(data), size, loaded)) {
        Check(loaded.projects.empty());
        return 0;
    }
    // Walk the tree the way the program does after a load.
    loaded.RebuildIndex();
    loaded.RebuildDeviceProjects();

    const std::string first = Saved(loaded);
    CManager again;
    Check(ReadProjectArchive(first.data(), first.size(), again));
    Check(Saved(again) == first);
    return 0;
}

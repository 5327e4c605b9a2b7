// project_archive.h - the bytes of the project file "qlrsvr.savefile.v2.01":
// a binary archive holding the version tag "2.01" and the manager's saved
// part. Portable: the file handling around it (temporary file, set-aside of
// unreadable files) is the project file's (project_file.cpp).
#pragma once

#include "manager.h"

#include <cstddef>
#include <ostream>

// Larger project files are not read; they are far beyond any project the
// platform serves.
const std::size_t kMaxProjectFileBytes = 32u << 20;

// Header, version tag, manager by value. False when the stream failed.
bool WriteProjectArchive(std::ostream &out, const CManager &manager);

// Reads the bytes of a whole project file into loaded, a manager of its
// own. False when they are not such a file (foreign, cut off, damaged,
// too large, or a record listed twice); loaded's tree is then empty.
bool ReadProjectArchive(const char *data, std::size_t size, CManager &loaded);

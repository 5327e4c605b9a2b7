// test_files.h - small file helpers of the desktop tests.
#pragma once

#include <string>

// A whole file's bytes (empty when it cannot be read).
std::string ReadFileBytes(const std::string &path);
bool FileExists(const std::string &path);
// Removes a directory with everything in it.
void RemoveTree(const std::string &path);

// app_dir.h - the directory of the running program, where the gateway keeps
// its project file, settings and log.
#pragma once

#include <string>

// Full path of the running program cut before its last "/" or "\", so
// without a trailing separator.
std::string GetAppDir();

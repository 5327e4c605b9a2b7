// registration_marker.h - the empty file in the program directory that
// records that the OPC component was registered on this machine: named after
// the first disk's serial number, or "qlrsvr.regfile" when it cannot be read.
#pragma once

#include <string>

extern const char kFallbackMarkerName[]; // "qlrsvr.regfile"

// The serial number trimmed of blanks at both ends; the fallback name when
// it cannot be read or nothing is left of it.
std::string RegistrationMarkerName();
// The same rule for a given reading of the serial number.
std::string MarkerNameForSerial(bool serialRead, const std::string &serial);
// GetAppDir() + "\" + RegistrationMarkerName().
std::string RegistrationMarkerPath();

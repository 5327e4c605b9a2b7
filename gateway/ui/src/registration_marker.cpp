// registration_marker.cpp - name and place of the registration marker.
#include "registration_marker.h"

#include "app_dir.h"
#include "disk_serial.h"

const char kFallbackMarkerName[] = "qlrsvr.regfile";

namespace {

std::string TrimBlanks(const std::string &text)
{
    const std::string::size_type first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    const std::string::size_type last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

std::string MarkerNameForSerial(bool serialRead, const std::string &serial)
{
    if (!serialRead)
        return kFallbackMarkerName;
    // A serial of blanks only would name the program directory itself,
    // which always exists: the registration would never run.
    const std::string name = TrimBlanks(serial);
    return name.empty() ? std::string(kFallbackMarkerName) : name;
}

std::string RegistrationMarkerName()
{
    std::string serial;
    const bool read = ReadFirstDiskSerial(serial);
    return MarkerNameForSerial(read, serial);
}

std::string RegistrationMarkerPath()
{
    return GetAppDir() + "\\" + RegistrationMarkerName();
}

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

std::string RegistrationMarkerName()
{
    std::string serial;
    if (!ReadFirstDiskSerial(serial))
        return kFallbackMarkerName;
    // A serial of blanks only would name the program directory itself.
    const std::string name = TrimBlanks(serial);
    return name.empty() ? std::string(kFallbackMarkerName) : name;
}

std::string RegistrationMarkerPath()
{
    return GetAppDir() + "\\" + RegistrationMarkerName();
}

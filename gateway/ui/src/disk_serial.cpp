// disk_serial.cpp - SMART_GET_VERSION and SMART_RCV_DRIVE_DATA on the first
// physical drive (or the first SCSI port) for the disk's serial number.
#include "disk_serial.h"

#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <cstring>

namespace {

const BYTE kIdentifyDevice = 0xEC;
const std::size_t kIdentifySize = 512;
const std::size_t kSerialOffset = 20;
const std::size_t kSerialLength = 20;

static_assert(sizeof(SENDCMDINPARAMS) == 33, "SMART command block of 33 bytes");
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == 16, "IDENTIFY data after 16 bytes");

HANDLE OpenDisk(const char *name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Closes the device handle on every way out.
class DeviceHandle {
public:
    explicit DeviceHandle(HANDLE handle) : m_handle(handle) {}
    ~DeviceHandle()
    {
        if (Valid())
            CloseHandle(m_handle);
    }
    DeviceHandle(const DeviceHandle &) = delete;
    DeviceHandle &operator=(const DeviceHandle &) = delete;

    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

bool ReadFirstDiskSerial(std::string &serial)
{
    HANDLE opened = OpenDisk("\\\\.\\PhysicalDrive0");
    if (opened == INVALID_HANDLE_VALUE)
        opened = OpenDisk("\\\\.\\Scsi0");
    DeviceHandle device(opened);
    if (!device.Valid())
        return false;

    GETVERSIONINPARAMS version;
    std::memset(&version, 0, sizeof(version));
    DWORD returned = 0;
    if (!DeviceIoControl(device.Get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof(version), &returned,
                         nullptr) ||
        returned == 0 || version.bIDEDeviceMap == 0)
        return false;

    SENDCMDINPARAMS command;
    std::memset(&command, 0, sizeof(command));
    command.cBufferSize = kIdentifySize;
    command.irDriveRegs.bFeaturesReg = 0;
    command.irDriveRegs.bSectorCountReg = 1;
    command.irDriveRegs.bSectorNumberReg = 1;
    command.irDriveRegs.bCylLowReg = 0;
    command.irDriveRegs.bCylHighReg = 0;
    command.irDriveRegs.bDriveHeadReg = 0xA0;
    command.irDriveRegs.bCommandReg = kIdentifyDevice;
    command.bDriveNumber = 0;

    // SENDCMDOUTPARAMS: buffer size and driver status, then the 512 bytes
    // of IDENTIFY DEVICE data.
    BYTE reply[1024];
    std::memset(reply, 0, sizeof(reply));
    returned = 0;
    if (!DeviceIoControl(device.Get(), SMART_RCV_DRIVE_DATA, &command, sizeof(command), reply,
                         sizeof(reply), &returned, nullptr))
        return false;

    const BYTE *data = reply + offsetof(SENDCMDOUTPARAMS, bBuffer);
    serial.clear();
    for (std::size_t i = 0; i < kSerialLength; ++i) {
        const BYTE byte = data[kSerialOffset + i];
        if (byte == 0 || byte >= 128)
            break;
        serial.push_back(static_cast<char>(byte));
    }
    return true;
}

// disk_serial.h - the serial number of the machine's first disk, read with
// ATA IDENTIFY DEVICE through the disk driver's SMART interface.
#pragma once

#include <string>

// The serial-number field of IDENTIFY DEVICE (bytes 20 to 39) as stored, up
// to the first zero byte or byte of value 128 or more. False when no disk
// could be opened or the driver refused the SMART requests.
bool ReadFirstDiskSerial(std::string &serial);

// opc_constants.h - OPC DA constants that the interface definitions leave
// to the C side: access rights, quality words, property IDs, categories.
#pragma once

#include <windows.h>

#define OPC_READABLE 0x1
#define OPC_WRITEABLE 0x2

#define OPC_QUALITY_MASK 0xC0
#define OPC_QUALITY_BAD 0x00
#define OPC_QUALITY_UNCERTAIN 0x40
#define OPC_QUALITY_GOOD 0xC0
#define OPC_QUALITY_OUT_OF_SERVICE 0x1C
#define OPC_QUALITY_WAITING_FOR_INITIAL_DATA 0x20

#define OPC_PROPERTY_DATATYPE 1
#define OPC_PROPERTY_VALUE 2
#define OPC_PROPERTY_QUALITY 3
#define OPC_PROPERTY_TIMESTAMP 4
#define OPC_PROPERTY_ACCESS_RIGHTS 5
#define OPC_PROPERTY_SCAN_RATE 6
#define OPC_PROPERTY_EU_TYPE 7
#define OPC_PROPERTY_EU_INFO 8
#define OPC_PROPERTY_EU_UNITS 100
#define OPC_PROPERTY_DESCRIPTION 101
#define OPC_PROPERTY_HIGH_EU 102
#define OPC_PROPERTY_LOW_EU 103

// OPCBROWSEELEMENT flags.
#define OPC_BROWSE_HASCHILDREN 0x01
#define OPC_BROWSE_ISITEM 0x02

// Component categories of OPC DA servers.
static const GUID CATID_OPCDAServer10 = {0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
static const GUID CATID_OPCDAServer20 = {0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
static const GUID CATID_OPCDAServer30 = {0xCC603642, 0x66D7, 0x48F1, {0xB6, 0x9A, 0xB6, 0x25, 0xE7, 0x36, 0x52, 0xD7}};

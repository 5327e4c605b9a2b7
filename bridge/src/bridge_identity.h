// bridge_identity.h - the OPC DA server identity under which the bridge
// registers itself and starts the server.
#pragma once

namespace bridge {
const char kClassId[] = "{6E2B91D4-3C7A-4F15-9B08-D2A45C17E3F9}";
const char kVendor[] = "OPC";
const char kServer[] = "SERVER";
const char kVersion[] = "1.0";
const char kServerName[] = "QNLumaret";
const unsigned short kGatewayPort = 8787;
} // namespace bridge

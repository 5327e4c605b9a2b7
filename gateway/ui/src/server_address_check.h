// server_address_check.h - the checks the server settings dialog makes
// before it writes host and port, in the order they are reported.
#pragma once

#include <string>

const int kMinPort = 1;
const int kMaxPort = 65535;

// Parses the port text as the dialog takes it: optional blanks, an optional
// sign and decimal digits, optional blanks. False when it is no integer.
bool ParsePortText(const std::string &text, int &port);

// The message for the first failing host check, or null when the host is
// acceptable. The checks are those of the request URL (ParsePlatformHost),
// so that the dialog takes exactly the hosts a URL can be built from:
// empty, a blank anywhere, a final "/", a ":" without a port number, a
// port number outside 1 to 65535, and anything else a URL's scheme, name or
// path cannot hold.
const char *HostCheckMessage(const std::string &host);

// Messages of the port check.
extern const char kPortNotIntegerMessage[];
extern const char kPortRangeMessage[];

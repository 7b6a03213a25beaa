// Other machines' session buses. A machine name "[user@]host[:port]" becomes a "unixexec:" address that runs
// systemd-stdio-bridge on that machine through SSH, which does the authentication and the encryption; the bridge
// connects to the remote user's session bus. A name that is a D-Bus address already ("unixexec:...", "unix:...")
// is used as it is.
#pragma once

#include <string>
#include <string_view>

namespace ole {

// A value escaped for a D-Bus address: every byte other than letters, digits and "_-/." as %XX.
std::string EscapeBusAddressValue(std::string_view value);

// The D-Bus address for a machine name; false, with the reason in *error, when the name is neither
// "[user@]host[:port]" (an IPv6 host in brackets) nor a D-Bus address. The SSH program is "ssh", or the one the
// environment variable NAVILONIX_SSH names (it gets the same arguments).
bool RemoteBusAddress(const std::string& machine, std::string* address, std::string* error);

} // namespace ole

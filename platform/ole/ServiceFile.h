// Registration of a local server for D-Bus activation: the Linux form of a server's self-registration.
// `NavilonixServer --register` writes $XDG_DATA_HOME/dbus-1/services/ole.CLSID_<digits>.service (with
// Exec = the server and --embedding), `--unregister` removes it. The session bus notices the change by itself.
#pragma once

#include "platform/ole/Guid.h"

#include <filesystem>
#include <string>

namespace ole {

// The user's service folder: $XDG_DATA_HOME/dbus-1/services, or .local/share/dbus-1/services in the home directory
// of the user's account (where the bus daemon looks, whatever $HOME says).
std::filesystem::path UserServiceDirectory();
std::filesystem::path ServiceFilePath(REFCLSID clsid);

// Writes the service file that starts `executable --embedding` for the class. Returns false with a reason.
bool RegisterLocalServer(REFCLSID clsid, const std::filesystem::path& executable, std::string* error = nullptr);
// Removes it; true also when there was none.
bool UnregisterLocalServer(REFCLSID clsid, std::string* error = nullptr);

} // namespace ole

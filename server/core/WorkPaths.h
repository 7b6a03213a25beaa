// The layout of the server's work directory.
#pragma once

#include <filesystem>

namespace navilonix::server {

struct WorkPaths {
    std::filesystem::path root;

    std::filesystem::path groups() const { return root / "Groups"; }
    std::filesystem::path points() const { return root / "Points"; }
    std::filesystem::path tracks() const { return root / "Tracks"; }
    std::filesystem::path online() const { return root / "Online.txt"; }
    std::filesystem::path receiver() const { return root / "Receiver.txt"; }
    std::filesystem::path implements() const { return root / "Implements.txt"; }
    std::filesystem::path addresses() const { return root / "Addresses.txt"; }
    std::filesystem::path properties() const { return root / "Properties.txt"; }
};

} // namespace navilonix::server

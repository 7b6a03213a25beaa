// Vehicle group files: Groups/<name>.grp, an INI-like text a person can edit.
#pragma once

#include "server/core/Model.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

// Parses a group file. Unknown keys and bad values are described in problems ("line N: ...") and left at their
// defaults; a vehicle without a valid device number is skipped.
Group parseGroupFile(std::string_view content, std::vector<std::string>* problems);
std::string formatGroupFile(const Group& group);

// Reads Groups/*.grp sorted by file name. Files that cannot be read are skipped and described in problems.
std::vector<Group> readGroups(const std::filesystem::path& groupsFolder, std::vector<std::string>* problems);
void writeGroupFile(const std::filesystem::path& groupsFolder, const Group& group);

// The online states, Online.txt: one tab-separated line per device.
std::string formatOnlineStates(const std::vector<std::pair<long, OnlineState>>& states);
std::vector<std::pair<long, OnlineState>> parseOnlineStates(std::string_view content,
                                                            std::vector<std::string>* problems);

} // namespace navilonix::server

// Check point files: Points/<name>.chp, check points (circles) and geozones (polygons) in one text file.
#pragma once

#include "server/core/Model.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

// Whether a list name is a bare file name that stays inside the Points folder: not empty, no folder
// separators, not "." or "..", no control characters, at most 200 bytes.
bool isBareListName(std::string_view name);

// The path of the list's file; throws FileError for a name that is not bare.
std::filesystem::path checkPointFilePath(const std::filesystem::path& pointsFolder, std::string_view name);

// Parses a file's text. Lines that cannot be read are skipped and described in problems ("line N: ...").
CheckPointList parseCheckPointFile(std::string_view content, std::vector<std::string>* problems);
std::string formatCheckPointFile(const CheckPointList& list);

// Reads a file; throws FileError when it cannot be read.
CheckPointList readCheckPointFile(const std::filesystem::path& path, std::vector<std::string>* problems);
// Writes a file through a temporary file; throws FileError.
void writeCheckPointFile(const std::filesystem::path& path, const CheckPointList& list);

// The names of the lists in the folder (file names without ".chp"), sorted.
std::vector<std::string> listCheckPointFiles(const std::filesystem::path& pointsFolder);

} // namespace navilonix::server

// File-name helpers: splitting, extensions, comparison, wildcard matching and directory enumeration.
// Paths use the platform's separator "/". Trimming lives in Text.h, included here.
#pragma once

#include "platform/rtl/Text.h"

#include <string>
#include <vector>

inline constexpr char PathDelim = '/';

// "/a/b/Moscow.chp": ExtractFileName "Moscow.chp", ExtractFilePath "/a/b/", ExtractFileDir "/a/b",
// ExtractFileExt ".chp" (the last dot of the name and what follows it; "" when the name has no dot).
std::string ExtractFileName(const std::string& fileName);
std::string ExtractFilePath(const std::string& fileName);
// The folder without its trailing separator, except for the root: ExtractFileDir("/a") is "/".
std::string ExtractFileDir(const std::string& fileName);
std::string ExtractFileExt(const std::string& fileName);
// Replaces the extension of the name (or appends one): ChangeFileExt("Moscow.chp", "") is "Moscow",
// ChangeFileExt("a/b", ".kml") is "a/b.kml".
std::string ChangeFileExt(const std::string& fileName, const std::string& extension);

std::string IncludeTrailingPathDelimiter(const std::string& path);
std::string ExcludeTrailingPathDelimiter(const std::string& path);

// Equal file names ignoring case ("Group1.GRP" and "group1.grp").
bool SameFileName(const std::string& a, const std::string& b);

// Whether a name matches a wildcard mask, ignoring case: "*" stands for any run of characters (also
// none), "?" for exactly one character; "*.*" matches every name, with or without a dot.
bool MatchesMask(const std::string& name, const std::string& mask);

// The names (without folder) of the entries of a folder that match a mask, given together as one
// pattern such as "/srv/work/Points/*.chp". Every kind of entry counts (files, folders, links, hidden
// names). A folder that does not exist or cannot be read gives no names. Sorted by bytes.
std::vector<std::string> FindFiles(const std::string& pattern);

// Small helpers for the server's human-readable files: escaped tab-separated fields and locale-free numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

// Backslash escapes for tab, line breaks and the backslash itself, so that any text fits one field.
std::string escapeField(std::string_view text);
std::string unescapeField(std::string_view text);

std::vector<std::string_view> splitFields(std::string_view line, char separator = '\t');

// Numbers with a dot as decimal point whatever the process's locale.
std::string formatNumber(double value, int decimals);
std::optional<double> parseNumber(std::string_view text);
std::optional<long> parseInteger(std::string_view text);

std::string_view trim(std::string_view text);

// Splits a file's content into lines, accepting LF and CRLF.
std::vector<std::string_view> splitLines(std::string_view content);

} // namespace navilonix::server

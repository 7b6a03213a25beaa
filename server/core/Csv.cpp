#include "server/core/Csv.h"

#include <stdexcept>

namespace navilonix::server {

std::string csvField(std::string_view value, char separator) {
    if (value.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos)
        return std::string(value);
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

CsvTable::CsvTable(std::vector<std::string> header, char separator) : columns_(header.size()), separator_(separator) {
    append(header);
}

void CsvTable::addRow(std::vector<std::string> row) {
    if (row.size() != columns_)
        throw std::logic_error("a CSV row must have as many fields as the header");
    append(row);
    ++rows_;
}

void CsvTable::append(const std::vector<std::string>& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0)
            text_ += separator_;
        text_ += csvField(row[i], separator_);
    }
    text_ += "\r\n";
}

} // namespace navilonix::server

// Comma-separated values for the exports: RFC 4180 (CRLF lines, fields quoted when they hold the separator, a
// quote or a line break, quotes doubled), UTF-8 with a header row.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

class CsvTable {
public:
    // `separator` is ',' or ';' (the form spreadsheets of Russian settings open directly).
    CsvTable(std::vector<std::string> header, char separator);
    void addRow(std::vector<std::string> row);
    std::size_t rows() const { return rows_; }
    const std::string& text() const { return text_; }

private:
    void append(const std::vector<std::string>& row);
    std::size_t columns_;
    std::size_t rows_ = 0;
    char separator_;
    std::string text_;
};

std::string csvField(std::string_view value, char separator);

} // namespace navilonix::server

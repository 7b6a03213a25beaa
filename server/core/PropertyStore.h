// Named texts kept in one file of the work directory, by section: the server's own ("Server") and each
// vehicle's ("Vehicle 21305"). The file is read again whenever it changed on disk, so a hand edit counts at once;
// every change is written atomically.
//
//     # NavilonixServer properties
//     [Server]
//     Operator=Диспетчерская № 2
//     [Vehicle 21305]
//     Insurance=до 01.03.2010
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace navilonix::server {

class PropertyStore {
public:
    explicit PropertyStore(std::filesystem::path file) : file_(std::move(file)) {}

    // A name is 1 to 200 bytes without control characters, '=' or a leading '[' or '#'/';', and without
    // spaces at either end.
    static bool validName(std::string_view name);

    std::optional<std::string> get(const std::string& section, const std::string& name);
    // Throws FileError when the file cannot be written; the store then stays as the file is.
    void set(const std::string& section, const std::string& name, const std::string& value);
    // Lines of the file that did not parse when it was last read.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    void refresh();
    std::string render() const;

    std::filesystem::path file_;
    std::map<std::string, std::map<std::string, std::string>> sections_;
    std::vector<std::string> problems_;
    bool loaded_ = false;
    std::filesystem::file_time_type stamp_{};
    std::uintmax_t size_ = 0;
};

} // namespace navilonix::server

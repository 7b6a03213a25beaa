// The implements vehicles pull in the fields: Implements.txt in the work directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace navilonix::server {

// An implement a vehicle can pull, from Implements.txt in the work directory.
struct Implement {
    std::string id;
    std::string name;
    double width = 0.0; // metres
};

// One implement a line: "id;name;width in metres". Blank lines and lines starting with '#' are skipped; lines that
// cannot be read are described in problems ("line N: ...").
std::vector<Implement> parseImplements(std::string_view content, std::vector<std::string>* problems);
std::string formatImplements(const std::vector<Implement>& implements);

} // namespace navilonix::server

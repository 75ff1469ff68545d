#include "ConnectionReportLines.h"

#include "qolt_api.h"

#include <algorithm>

namespace qoltcli {

std::vector<std::string> ConnectionReportLines(const char* permissionHint) {
    std::string text(1024, '\0');
    int length = GetConnectionReport(&text[0], text.size());
    if (length >= static_cast<int>(text.size())) {
        text.assign(static_cast<size_t>(length) + 1, '\0');
        length = GetConnectionReport(&text[0], text.size());
    }
    text.resize(static_cast<size_t>(std::max(0, std::min(length, static_cast<int>(text.size()) - 1))));
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (line.find(": permission denied") != std::string::npos) {
            line += permissionHint;
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

} // namespace qoltcli

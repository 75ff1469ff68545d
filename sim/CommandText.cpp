#include "sim/CommandText.h"

#include <cstdio>

namespace qoltsim {

namespace {

int Word(const std::vector<uint8_t>& b, size_t at) {
    return at + 1 < b.size() ? (b[at] << 8) | b[at + 1] : -1;
}

} // namespace

std::string CommandText(const CommandRecord& command) {
    const std::vector<uint8_t>& b = command.bytes;
    std::string text = MessageKindName(command.kind);
    char detail[64] = "";
    switch (command.kind) {
    case MessageKind::Range:
        if (b.size() >= 2) {
            std::snprintf(detail, sizeof detail, " %u", static_cast<unsigned>(b[1]));
        }
        break;
    case MessageKind::Relays:
        if (b.size() >= 4) {
            std::snprintf(detail, sizeof detail, " 0x%02X%02X%02X", static_cast<unsigned>(b[1]),
                          static_cast<unsigned>(b[2]), static_cast<unsigned>(b[3]));
        }
        break;
    case MessageKind::VariableDcOffset:
    case MessageKind::PacingLevelLow:
    case MessageKind::PacingLevelHigh:
        if (Word(b, 1) >= 0) {
            std::snprintf(detail, sizeof detail, " %d", Word(b, 1));
        }
        break;
    case MessageKind::Unknown:
        for (size_t i = 0; i < b.size() && i < 8; ++i) {
            char hex[8];
            std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(b[i]));
            text += hex;
        }
        if (b.size() > 8) {
            text += " ...";
        }
        break;
    default:
        break;
    }
    text += detail;
    if (command.status != MessageStatus::Ok) {
        text += std::string(" (") + MessageStatusName(command.status) + ")";
    }
    return text;
}

} // namespace qoltsim

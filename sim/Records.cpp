#include "sim/Records.h"

namespace qoltsim {

const char* MessageStatusName(MessageStatus status) {
    switch (status) {
    case MessageStatus::Ok:
        return "ok";
    case MessageStatus::Malformed:
        return "malformed";
    case MessageStatus::Incomplete:
        return "incomplete";
    }
    return "?";
}

const char* ViolationKindName(ViolationKind kind) {
    switch (kind) {
    case ViolationKind::Truncated:
        return "truncated";
    case ViolationKind::Head:
        return "head";
    case ViolationKind::HeadPadding:
        return "head-padding";
    case ViolationKind::Counter:
        return "counter";
    case ViolationKind::Marker:
        return "marker";
    case ViolationKind::ReservedBits:
        return "reserved-bits";
    case ViolationKind::Unrequested:
        return "unrequested";
    case ViolationKind::Overrun:
        return "overrun";
    }
    return "?";
}

const char* EventKindName(EventKind kind) {
    switch (kind) {
    case EventKind::Plugged:
        return "plugged";
    case EventKind::Unplugged:
        return "unplugged";
    case EventKind::StreamStarted:
        return "stream-started";
    case EventKind::StreamStopped:
        return "stream-stopped";
    case EventKind::Underrun:
        return "underrun";
    case EventKind::OutputDropped:
        return "output-dropped";
    }
    return "?";
}

size_t Recording::CountCommands(MessageKind kind) const {
    size_t n = 0;
    for (const auto& c : commands) {
        n += c.kind == kind ? 1 : 0;
    }
    return n;
}

size_t Recording::CountCommands(MessageKind kind, MessageStatus status) const {
    size_t n = 0;
    for (const auto& c : commands) {
        n += (c.kind == kind && c.status == status) ? 1 : 0;
    }
    return n;
}

const CommandRecord* Recording::LastCommand(MessageKind kind) const {
    for (auto it = commands.rbegin(); it != commands.rend(); ++it) {
        if (it->kind == kind) {
            return &*it;
        }
    }
    return nullptr;
}

size_t Recording::CountViolations(ViolationKind kind) const {
    size_t n = 0;
    for (const auto& v : violations) {
        n += v.kind == kind ? 1 : 0;
    }
    return n;
}

size_t Recording::CountEvents(EventKind kind) const {
    size_t n = 0;
    for (const auto& e : events) {
        n += e.kind == kind ? 1 : 0;
    }
    return n;
}

size_t Recording::CountSent(const std::string& what) const {
    size_t n = 0;
    for (const auto& s : sent) {
        n += s.what == what ? 1 : 0;
    }
    return n;
}

std::vector<uint8_t> Recording::CommandBytes() const {
    std::vector<uint8_t> all;
    for (const auto& c : commands) {
        all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    }
    return all;
}

} // namespace qoltsim

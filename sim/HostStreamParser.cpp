#include "sim/HostStreamParser.h"

#include <algorithm>

namespace qoltsim {

namespace {

// A packet (and every sub-packet) starts 01 cc 00 00; used to find the next packet after a cut one.
bool LooksLikePacketStart(const uint8_t* p) {
    return p[0] == kPacketHead && p[2] == 0x00 && p[3] == 0x00;
}

// Slack beyond one packet that the resynchronising search may scan before giving up on finding a head.
constexpr size_t kResyncWindow = 2 * kPacketSize;

} // namespace

void HostStreamParser::Feed(const uint8_t* data, size_t size, Clock::time_point now,
                            std::vector<ParsedMessage>& out) {
    if (size == 0) {
        return;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    lastByte_ = now;
    Drain(false, now, out);
}

void HostStreamParser::Expire(Clock::time_point now, std::vector<ParsedMessage>& out) {
    if (Pending() != 0 && now - lastByte_ >= timeout_) {
        Drain(true, now, out);
    }
}

std::optional<Clock::time_point> HostStreamParser::Deadline() const {
    if (Pending() == 0) {
        return std::nullopt;
    }
    return lastByte_ + timeout_;
}

void HostStreamParser::Reset() {
    buffer_.clear();
    head_ = 0;
}

void HostStreamParser::Drain(bool force, Clock::time_point now, std::vector<ParsedMessage>& out) {
    while (Pending() != 0 && TakeOne(force, now, out)) {
    }
    // Compact once the consumed part dominates, so the buffer stays about one packet long.
    if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    } else if (head_ > kPacketSize) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

void HostStreamParser::Emit(MessageKind kind, MessageStatus status, size_t length, Clock::time_point now,
                            std::vector<ParsedMessage>& out, size_t trusted) {
    ParsedMessage m;
    m.kind = kind;
    m.status = status;
    const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(head_);
    m.bytes.assign(first, first + static_cast<std::ptrdiff_t>(length));
    m.time = now;
    m.trustedSubPackets = trusted;
    head_ += length;
    out.push_back(std::move(m));
}

bool HostStreamParser::TakeOne(bool force, Clock::time_point now, std::vector<ParsedMessage>& out) {
    const uint8_t* d = buffer_.data() + head_;
    const size_t n = Pending();

    // The stored block: its own first three bytes and the store marker.
    if (d[0] == signature_[0]) {
        const size_t seen = std::min<size_t>(n, 4);
        bool prefix = true;
        for (size_t i = 1; i < seen; ++i) {
            prefix = prefix && (i < 3 ? d[i] == signature_[i] : d[i] == kStoreMarker);
        }
        if (prefix && seen < 4 && !force) {
            return false;
        }
        if (prefix && seen == 4) {
            if (n < kBlockSize) {
                if (!force) {
                    return false;
                }
                Emit(MessageKind::StoreBlock, MessageStatus::Incomplete, n, now, out);
                return true;
            }
            Emit(MessageKind::StoreBlock, MessageStatus::Ok, kBlockSize, now, out);
            return true;
        }
    }

    if (d[0] == kPacketHead) {
        return TakePacket(force, now, out);
    }

    const size_t length = MessageLengthForFirstByte(d[0]);
    if (length == 0) {
        size_t run = 1;
        while (run < n && d[run] != signature_[0] && MessageLengthForFirstByte(d[run]) == 0) {
            ++run;
        }
        Emit(MessageKind::Unknown, MessageStatus::Ok, run, now, out);
        return true;
    }

    MessageKind kind = MessageKindForFirstByte(d[0]);
    if (n < length) {
        if (!force) {
            return false;
        }
        Emit(kind, MessageStatus::Incomplete, n, now, out);
        return true;
    }

    MessageStatus status = MessageStatus::Ok;
    switch (kind) {
    case MessageKind::InfoQuery:
        if (!(d[1] == 0x55 && d[2] == 0xAA && d[3] == 0x00 && d[4] == 0x00)) {
            status = MessageStatus::Malformed;
        }
        break;
    case MessageKind::ConverterQuery:
        if (!(d[1] == 0x00 && d[2] == 0x01 && d[3] == 0x00)) {
            status = MessageStatus::Malformed;
        }
        break;
    case MessageKind::PortTag:
        if (d[1] != 0x01) {
            status = MessageStatus::Malformed;
        }
        break;
    case MessageKind::Relays:
        if (d[4] != 0x00 || d[5] != 0x00) {
            status = MessageStatus::Malformed;
        }
        break;
    case MessageKind::VariableDcOffset:
        if (d[1] == 0x80 && d[2] == 0x00) {
            kind = MessageKind::BaselineResetOn;
        }
        break;
    default:
        break;
    }
    Emit(kind, status, length, now, out);
    return true;
}

bool HostStreamParser::TakePacket(bool force, Clock::time_point now, std::vector<ParsedMessage>& out) {
    const uint8_t* d = buffer_.data() + head_;
    const size_t n = Pending();
    auto cut = [&](size_t length, size_t trusted) {
        Emit(MessageKind::Packet, MessageStatus::Incomplete, length, now, out,
             std::min(trusted, length / kSubPacketSize));
        return true;
    };
    if (n < 2) {
        return force ? cut(n, 0) : false;
    }
    const uint8_t first = d[1];
    for (size_t k = 1; k < kSubPackets; ++k) {
        const size_t pos = k * kSubPacketSize;
        if (n < pos + 2) {
            return force ? cut(n, n / kSubPacketSize) : false;
        }
        const bool headOk = d[pos] == kPacketHead;
        const bool counterOk = d[pos + 1] == static_cast<uint8_t>(first + k);
        if (counterOk) {
            continue; // a wrong head byte alone is a fault of this packet, not a cut
        }
        if (headOk) {
            // Either a new packet started here (this one was cut at a sub-packet boundary) or this one
            // counter byte is wrong: the next head tells.
            const size_t next = pos + kSubPacketSize;
            if (n < next + 2) {
                if (!force) {
                    return false;
                }
                if (n >= kPacketSize) {
                    break;
                }
                return cut(pos, k);
            }
            const bool glitch = d[next] == kPacketHead && d[next + 1] == static_cast<uint8_t>(first + k + 1);
            if (glitch) {
                continue;
            }
            return cut(pos, k);
        }
        // Neither head nor counter: the packet was cut somewhere in the previous sub-packet. Take everything
        // up to the next thing that looks like a packet head as the cut packet.
        for (size_t p = pos - kSubPacketSize + 1; p + 4 <= n; ++p) {
            if (LooksLikePacketStart(d + p)) {
                return cut(p, k - 1);
            }
        }
        if (force || n > pos + kResyncWindow) {
            return cut(n, k - 1);
        }
        return false;
    }
    if (n < kPacketSize) {
        return force ? cut(n, n / kSubPacketSize) : false;
    }

    // The next packet's head inside the last sub-packet: this one lost bytes at its end. Without this check
    // the next head would be eaten and the rest of its sub-packet read as commands.
    const uint8_t following = static_cast<uint8_t>(first + kSubPackets);
    for (size_t p = kPacketSize - kSubPacketSize + 4; p < kPacketSize; ++p) {
        if (d[p] != kPacketHead) {
            continue;
        }
        const uint8_t want[4] = {kPacketHead, following, 0x00, 0x00};
        bool match = true;
        size_t i = 1;
        for (; i < 4 && p + i < n; ++i) {
            match = match && d[p + i] == want[i];
        }
        if (match && i < 4) {
            // Only the bytes after the packet can tell. With nothing after it yet, the packet is taken
            // whole: the host sends its next message when asked, and nothing asks before this packet is
            // counted. A packet that did lose its last bytes then shows in the next one's framing.
            if (!force && n > kPacketSize) {
                return false; // the next message has begun: its first bytes tell
            }
            continue;
        }
        if (match) {
            return cut(p, kSubPackets - 1);
        }
    }

    // Heads and counters run on, but the marker sits in another sub-packet: the framing is off by whole
    // sub-packets (one lost at a packet's start, or one too many). Realign on the marker.
    if (d[kMarkerOffset] != kMarker) {
        const size_t markerSub = kMarkerOffset / kSubPacketSize;
        for (size_t m = 0; m < kSubPackets; ++m) {
            if (m == markerSub || d[m * kSubPacketSize] != kPacketHead ||
                d[m * kSubPacketSize + 2] != kMarker) {
                continue;
            }
            if (m > markerSub) {
                return cut((m - markerSub) * kSubPacketSize, m - markerSub); // the true packet starts there
            }
            const size_t late = markerSub - m; // this is the tail of a packet whose start went before
            return cut(kPacketSize - late * kSubPacketSize, kSubPackets - late);
        }
    }
    Emit(MessageKind::Packet, MessageStatus::Ok, kPacketSize, now, out, kSubPackets);
    return true;
}

} // namespace qoltsim

#include "device/ProbeReport.h"

#include "sync/Immortal.h"
#include "sync/LogQueue.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Ports that exist are few; the nodes a scan finds missing are only counted.
constexpr int kMaxNotes = 16;
constexpr std::size_t kPathCapacity = 512;
constexpr int kReplyShown = 8;

struct Note {
    ProbeResult result;
    int detail;
    int replyLength;
    unsigned char reply[kReplyShown];
    char path[kPathCapacity];
};

struct Report {
    bool ended = false;
    int port = -1;
    int notes = 0;
    int moreNotes = 0; // past kMaxNotes
    Note note[kMaxNotes];
    int missing = 0;
    char firstMissing[kPathCapacity] = {};
    char lastMissing[kPathCapacity] = {};
};

struct State {
    std::mutex mutex;
    Report writing; // the connection thread's attempt
    Report last;    // what callers read
    int replyLength = -1;
    unsigned char reply[kReplyShown] = {};
};

CImmortal<State> s_state;

void CopyPath(char (&out)[kPathCapacity], const char* path) {
    std::snprintf(out, sizeof out, "%s", path != nullptr ? path : "");
}

// "AA BB ..." of at most kReplyShown bytes.
void Hex(char* out, std::size_t size, const unsigned char* bytes, int count) {
    std::size_t used = 0;
    out[0] = '\0';
    for (int i = 0; i < count && used + 4 < size; ++i) {
        used += static_cast<std::size_t>(
            std::snprintf(out + used, size - used, i == 0 ? "%02X" : " %02X", bytes[i]));
    }
}

// The reason of one note, without the path.
void Reason(const Note& n, char* out, std::size_t size) {
    switch (n.result) {
    case ProbeResult::NodeMissing:
        std::snprintf(out, size, "no such device node");
        break;
    case ProbeResult::OpenFailed:
        if (n.detail == EACCES || n.detail == EPERM) {
            std::snprintf(out, size, "permission denied (%s)", std::strerror(n.detail));
        } else {
            std::snprintf(out, size, "cannot be opened (%s)", std::strerror(n.detail));
        }
        break;
    case ProbeResult::Locked:
        std::snprintf(out, size, "locked by process %d, which is running", n.detail);
        break;
    case ProbeResult::LockFailed:
        if (n.detail != 0) {
            std::snprintf(out, size, "its lock file cannot be taken (%s)", std::strerror(n.detail));
        } else {
            std::snprintf(out, size, "its lock file cannot be taken");
        }
        break;
    case ProbeResult::NotTerminal:
        std::snprintf(out, size, "not a terminal (%s)", std::strerror(n.detail));
        break;
    case ProbeResult::NotIdentified:
        if (n.replyLength <= 0) {
            std::snprintf(out, size, "no reply to the identify query");
        } else {
            char hex[3 * kReplyShown + 1];
            Hex(hex, sizeof hex, n.reply, n.replyLength < kReplyShown ? n.replyLength : kReplyShown);
            std::snprintf(out, size, "not the instrument: the identify query got %d byte%s (%s%s)",
                          n.replyLength, n.replyLength == 1 ? "" : "s", hex,
                          n.replyLength > kReplyShown ? " ..." : "");
        }
        break;
    case ProbeResult::Refused:
        std::snprintf(out, size, "identified, but the identification exchange failed");
        break;
    case ProbeResult::Connected:
        std::snprintf(out, size, "connected");
        break;
    }
}

int LevelOf(ProbeResult result) {
    switch (result) {
    case ProbeResult::OpenFailed:
    case ProbeResult::Locked:
    case ProbeResult::LockFailed:
        return kLogWarning;
    default:
        return kLogInfo;
    }
}

// Appends to the caller's buffer as far as it goes; counts the whole length.
struct Writer {
    char* buffer;
    std::size_t size;
    std::size_t length = 0;

    void Add(const char* text) {
        const std::size_t n = std::strlen(text);
        if (buffer != nullptr && size > 0 && length < size - 1) {
            const std::size_t room = size - 1 - length;
            std::memcpy(buffer + length, text, n < room ? n : room);
            buffer[length + (n < room ? n : room)] = '\0';
        }
        length += n;
    }
};

} // namespace

void BeginProbeReport(int port) {
    State& s = s_state.value;
    std::lock_guard<std::mutex> guard(s.mutex);
    s.writing.ended = false;
    s.writing.port = port;
    s.writing.notes = 0;
    s.writing.moreNotes = 0;
    s.writing.missing = 0;
    s.replyLength = -1;
}

void NoteIdentifyReply(const unsigned char* reply, int count) {
    State& s = s_state.value;
    std::lock_guard<std::mutex> guard(s.mutex);
    s.replyLength = reply == nullptr || count < 0 ? 0 : count;
    std::memcpy(s.reply, reply != nullptr ? reply : s.reply,
                static_cast<std::size_t>(s.replyLength < kReplyShown ? s.replyLength : kReplyShown));
}

void NoteProbe(int port, const char* path, ProbeResult result, int detail) {
    Note note{};
    note.result = result;
    note.detail = detail;
    CopyPath(note.path, path);
    {
        State& s = s_state.value;
        std::lock_guard<std::mutex> guard(s.mutex);
        if (result == ProbeResult::NotIdentified) {
            note.replyLength = s.replyLength < 0 ? 0 : s.replyLength;
            std::memcpy(note.reply, s.reply, sizeof note.reply);
        }
        s.replyLength = -1;
        Report& r = s.writing;
        if (result == ProbeResult::NodeMissing && r.port == -1) {
            // A scan finds most nodes missing: counted, not listed.
            if (r.missing++ == 0) {
                CopyPath(r.firstMissing, path);
            }
            CopyPath(r.lastMissing, path);
            return;
        }
        if (r.notes < kMaxNotes) {
            r.note[r.notes++] = note;
        } else {
            ++r.moreNotes;
        }
    }
    char reason[160];
    Reason(note, reason, sizeof reason);
    LogText(LevelOf(result), "port %d (%s): %s", port, note.path, reason);
}

void EndProbeReport() {
    State& s = s_state.value;
    std::lock_guard<std::mutex> guard(s.mutex);
    s.writing.ended = true;
    s.last = s.writing;
}

std::size_t CopyProbeReport(char* buffer, std::size_t size) {
    State& s = s_state.value;
    Report r;
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        r = s.last;
    }
    Writer out{buffer, size};
    if (buffer != nullptr && size > 0) {
        buffer[0] = '\0';
    }
    if (!r.ended) {
        return 0;
    }
    char line[kPathCapacity * 2 + 200];
    for (int i = 0; i < r.notes; ++i) {
        char reason[160];
        Reason(r.note[i], reason, sizeof reason);
        std::snprintf(line, sizeof line, "%s: %s\n", r.note[i].path, reason);
        out.Add(line);
    }
    if (r.moreNotes > 0) {
        std::snprintf(line, sizeof line, "(%d more ports)\n", r.moreNotes);
        out.Add(line);
    }
    if (r.missing == 1) {
        std::snprintf(line, sizeof line, "%s: no such device node\n", r.firstMissing);
        out.Add(line);
    } else if (r.missing > 1) {
        std::snprintf(line, sizeof line, "%s to %s: no such device node (%d nodes between them included)\n",
                      r.firstMissing, r.lastMissing, r.missing);
        out.Add(line);
    }
    return out.length;
}

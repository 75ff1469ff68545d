#include "Report.h"

#include "ExitCodes.h"

#include <cstdio>
#include <unistd.h>

namespace qoltcli {

int Reporter::Fail(int exitCode, const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_, message.c_str());
    if (json_) {
        qoltcli::Json j;
        j.BeginObject().Key("error").BeginObject().Field("message", message).Field("exit_code", exitCode);
        j.EndObject().EndObject();
        Document(j);
    }
    return exitCode;
}

int Reporter::Refused(const Refusal& r) const {
    std::fprintf(stderr, "%s: %s\n", program_, r.Message().c_str());
    if (json_) {
        qoltcli::Json j;
        j.BeginObject().Key("error").BeginObject();
        j.Field("message", r.Message()).Field("exit_code", 3);
        j.Field("option", r.option).Field("value", r.value).Field("call", r.call).Field("code", r.code);
        j.Field("allowed", r.allowed);
        j.EndObject().EndObject();
        Document(j);
    }
    return kExitRefused;
}

void Reporter::Warn(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program_, message.c_str());
}

void Reporter::Line(const std::string& text) const {
    if (!json_) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
}

void Reporter::Document(const qoltcli::Json& json) const {
    std::printf("%s\n", json.Text().c_str());
    std::fflush(stdout);
}

StatusLine::StatusLine() : enabled_(isatty(STDERR_FILENO) == 1) {}

void StatusLine::Show(const std::string& text) {
    if (!enabled_) {
        return;
    }
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void StatusLine::Clear() {
    if (enabled_ && shown_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown_ = false;
    }
}

} // namespace qoltcli

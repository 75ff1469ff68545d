// How the tool speaks: results on stdout (plain, or one JSON document with --json), errors as one line on
// stderr ("qolt: ..."; with --json also as a JSON error document on stdout), and a one-line live status
// on stderr only when stderr is a terminal.
#pragma once

#include "Json.h"
#include "Refusal.h"

#include <string>

namespace qoltcli {

class Reporter {
public:
    Reporter(const char* program, bool json) : program_(program), json_(json) {}

    bool Json() const { return json_; }
    // Prints the error and returns `exitCode`.
    int Fail(int exitCode, const std::string& message) const;
    int Refused(const Refusal& refusal) const;
    void Warn(const std::string& message) const;
    void Line(const std::string& text) const; // plain output only
    void Document(const qoltcli::Json& json) const;

private:
    const char* program_;
    bool json_;
};

class StatusLine {
public:
    StatusLine();
    ~StatusLine() { Clear(); }
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    void Show(const std::string& text);
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
};

} // namespace qoltcli

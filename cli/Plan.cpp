#include "Plan.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace qoltcli {

namespace {

const char* const kPlanKeys[] = {"format", "version", "name", "description", "reference", "steps"};
const char* const kStepKeys[] = {"label", "marker", "play",    "scan",     "load",   "argument",
                                 "start", "stop",   "seconds", "duration", "settle", "limits"};
const char* const kRunWide[] = {
    "--json",         "--virtual",  "--fast",    "--port",     "--timeout",
    "--node-format",  "--lock-dir", "--model",   "--firmware", "--unplug-after-packets",
    "--replug-after", "--duration", "--capture", "--plot",     "--result"};

template <size_t N> bool In(const char* const (&list)[N], const std::string& key) {
    for (const char* k : list) {
        if (key == k) {
            return true;
        }
    }
    return false;
}

template <size_t N> std::string Join(const char* const (&list)[N]) {
    std::string s;
    for (const char* k : list) {
        s += (s.empty() ? "" : ", ") + std::string(k);
    }
    return s;
}

std::string StepName(size_t index, const std::string& label) {
    return "step " + std::to_string(index + 1) + (label.empty() ? "" : " (\"" + label + "\")");
}

// A JSON value as the command line would spell it, for an option of the given value form (null: a flag).
bool OptionText(const PlanJson& v, const char* form, bool& present, std::string& text) {
    present = true;
    if (form == nullptr) {
        if (!v.is_boolean()) {
            return false;
        }
        present = v.get<bool>();
        return true;
    }
    if (v.is_string()) {
        text = v.get<std::string>();
        return true;
    }
    if (v.is_number()) {
        text = v.dump(); // the shortest text that reads back as the same number
        return true;
    }
    if (v.is_boolean() && std::string(form) == "on|off") {
        text = v.get<bool>() ? "on" : "off";
        return true;
    }
    if (v.is_array() && std::string(form) == "LIST") {
        for (const PlanJson& e : v) {
            if (!e.is_number()) {
                return false;
            }
            text += (text.empty() ? "" : ",") + e.dump();
        }
        return !text.empty();
    }
    return false;
}

bool Number(const PlanJson& v, double& out) {
    if (!v.is_number()) {
        return false;
    }
    out = v.get<double>();
    return std::isfinite(out);
}

bool ParseLimits(const PlanJson& limits, bool sine, std::vector<qoltanalysis::Limit>& out,
                 std::string& error) {
    if (!limits.is_object()) {
        error = "\"limits\" must be an object of figures, each {\"min\": x, \"max\": y}";
        return false;
    }
    for (auto it = limits.begin(); it != limits.end(); ++it) {
        const std::optional<qoltanalysis::Figure> figure = qoltanalysis::FigureByName(it.key());
        if (!figure) {
            error = "limits: \"" + it.key() + "\" is not a figure; allowed " + qoltanalysis::FigureNames();
            return false;
        }
        if (qoltanalysis::SineFigure(*figure) && !sine) {
            error = "limits: \"" + it.key() +
                    "\" is measured on play sine steps only (others have mean and "
                    "peak_to_valley)";
            return false;
        }
        const PlanJson& range = it.value();
        if (!range.is_object() || range.empty()) {
            error = "limits: \"" + it.key() + "\" must be {\"min\": x, \"max\": y} (either may be left out)";
            return false;
        }
        qoltanalysis::Limit l;
        l.figure = *figure;
        for (auto r = range.begin(); r != range.end(); ++r) {
            double v = 0;
            if ((r.key() != "min" && r.key() != "max") || !Number(r.value(), v)) {
                error = "limits: \"" + it.key() + "\": \"" + r.key() +
                        "\" is not allowed; allowed min and max, "
                        "each a number";
                return false;
            }
            (r.key() == "min" ? l.min : l.max) = v;
        }
        if (l.min && l.max && *l.min > *l.max) {
            error = "limits: \"" + it.key() + "\": min is above max";
            return false;
        }
        out.push_back(l);
    }
    return true;
}

bool ParseStep(const PlanJson& s, size_t index, const std::string& baseDir, bool checkFiles, PlanStep& step,
               std::string& error) {
    std::string label;
    if (s.is_object() && s.contains("label")) {
        if (!s["label"].is_string() || s["label"].get<std::string>().empty()) {
            error = StepName(index, "") + ": \"label\" must be a text";
            return false;
        }
        label = s["label"].get<std::string>();
    }
    const std::string name = StepName(index, label);
    auto fail = [&](const std::string& what) {
        error = name + ": " + what;
        return false;
    };
    if (!s.is_object()) {
        return fail("a step must be an object");
    }
    step.label = label.empty() ? "step " + std::to_string(index + 1) : label;

    int commands = 0;
    std::vector<std::string> args = {"qolt"};
    Command command = Command::None;
    for (const char* c : {"play", "scan", "load"}) {
        if (!s.contains(c)) {
            continue;
        }
        ++commands;
        if (!s[c].is_string()) {
            return fail(std::string("\"") + c + "\" must be a text");
        }
        args.push_back(c);
        command = std::string(c) == "play"   ? Command::Play
                  : std::string(c) == "scan" ? Command::Scan
                                             : Command::Load;
    }
    if (commands != 1) {
        return fail(
            "needs exactly one of \"play\" (a function), \"scan\" (sine or ecg) or \"load\" (a file)");
    }
    const std::string what = s[args[1]].get<std::string>();
    std::string shown = args[1] + " " + what;
    if (command == Command::Load) {
        std::string path = what;
        if (!path.empty() && path[0] != '/' && !baseDir.empty()) {
            path = baseDir + "/" + path;
        }
        args.push_back(path);
    } else {
        args.push_back(what);
    }
    // Positional arguments by key.
    const char* const positional[] = {"argument", "start", "stop", "seconds"};
    const bool scanSine = command == Command::Scan && what == "sine";
    if (scanSine) {
        for (const char* k : {"start", "stop", "seconds"}) {
            if (!s.contains(k) || !s[k].is_number()) {
                return fail(
                    std::string("scan sine needs \"start\", \"stop\" (Hz) and \"seconds\", each a number"));
            }
            args.push_back(s[k].dump());
            shown += " " + s[k].dump();
        }
    }
    if (s.contains("argument")) {
        if (command != Command::Play || !s["argument"].is_number_integer()) {
            return fail("\"argument\" is the whole-number N or LEAD of play iec227, iec251 or ane20000");
        }
        args.push_back(s["argument"].dump());
        shown += " " + s["argument"].dump();
    }

    std::vector<OptionForm> forms;
    for (const OptionForm& f : OptionsOf(command)) {
        if (!RunWideOption(f.name)) {
            forms.push_back(f);
        }
    }
    for (auto it = s.begin(); it != s.end(); ++it) {
        const std::string& key = it.key();
        if (In(kStepKeys, key)) {
            if (In(positional, key) && key != "argument" && !scanSine) {
                return fail("\"" + key + "\" belongs to scan sine steps");
            }
            continue;
        }
        const std::string option = key.rfind("--", 0) == 0 ? key : "--" + key;
        const OptionForm* form = nullptr;
        for (const OptionForm& f : forms) {
            if (f.name == option) {
                form = &f;
            }
        }
        if (form == nullptr) {
            std::string allowed;
            for (const OptionForm& f : forms) {
                allowed += (allowed.empty() ? "" : ", ") + f.name.substr(2);
            }
            const bool runWide = RunWideOption(option);
            return fail("key \"" + key + "\" is " +
                        (runWide ? "set for the whole run, on qolt run's command line, not in a step"
                                 : "not allowed; allowed the step keys " + Join(kStepKeys) +
                                       " and the options of " + CommandName(command) + ": " + allowed));
        }
        bool present = false;
        std::string text;
        if (!OptionText(it.value(), form->value, present, text)) {
            return fail("key \"" + key + "\" needs " +
                        (form->value == nullptr ? std::string("true or false")
                                                : std::string("a value ") + form->value));
        }
        if (present) {
            args.push_back(option);
            shown += " " + option;
            if (form->value != nullptr) {
                args.push_back(text);
                shown += " " + text;
            }
        }
    }

    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    ParseResult parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (!parsed.error.empty()) {
        return fail(parsed.error);
    }
    step.options = std::move(parsed.options);
    step.commandLine = shown;
    if (checkFiles && command == Command::Load && access(step.options.file.c_str(), R_OK) != 0) {
        return fail("cannot read the recording " + step.options.file);
    }

    if (s.contains("duration")) {
        if (!Number(s["duration"], step.duration) || step.duration <= 0.0) {
            return fail("\"duration\" must be a number of seconds above 0");
        }
    } else if (command == Command::Scan) {
        step.duration = scanSine ? static_cast<double>(step.options.scanSeconds) : 30.0;
    } else {
        return fail("needs \"duration\" (seconds of output)");
    }
    if (s.contains("settle") && (!Number(s["settle"], step.settle) || step.settle < 0.0)) {
        return fail("\"settle\" must be a number of seconds, 0 or more");
    }
    if (step.settle >= step.duration) {
        return fail("\"settle\" must be shorter than \"duration\" (the measurement window is what is left)");
    }
    if (s.contains("marker")) {
        if (!s["marker"].is_boolean()) {
            return fail("\"marker\" must be true or false");
        }
        step.marker = s["marker"].get<bool>();
    }
    if (step.marker) {
        if (index != 0) {
            return fail("only the first step can be the marker");
        }
        if (command != Command::Play || std::string(step.options.function->name) != "square" ||
            !step.options.frequency) {
            return fail("the marker must be play square with a \"frequency\"");
        }
        if (step.duration * *step.options.frequency < 2.0) {
            return fail("the marker needs at least 2 whole cycles within its duration");
        }
    }
    if (s.contains("limits") && !ParseLimits(s["limits"], step.IsSine(), step.limits, error)) {
        error = name + ": " + error;
        return false;
    }
    return true;
}

} // namespace

bool PlanStep::IsSine() const {
    return options.command == Command::Play && options.function != nullptr &&
           std::string(options.function->name) == "sine";
}

double Plan::Seconds() const {
    double total = 0.0;
    for (const PlanStep& s : steps) {
        total += s.duration;
    }
    return total;
}

bool RunWideOption(const std::string& name) {
    return In(kRunWide, name);
}

bool ReadJsonFile(const std::string& path, PlanJson& document, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        document = PlanJson::parse(text.str());
    } catch (const PlanJson::parse_error& e) {
        std::string what = e.what();
        const size_t close = what.find("] ");
        error = path + ": not JSON: " + (close != std::string::npos ? what.substr(close + 2) : what);
        return false;
    }
    return true;
}

bool ParsePlan(const PlanJson& d, const std::string& baseDir, Plan& plan, std::string& error,
               bool checkFiles) {
    plan = Plan{};
    plan.document = d;
    if (!d.is_object()) {
        error = "a plan is a JSON object with \"steps\"";
        return false;
    }
    for (auto it = d.begin(); it != d.end(); ++it) {
        if (!In(kPlanKeys, it.key())) {
            error = "key \"" + it.key() + "\" is not allowed in a plan; allowed " + Join(kPlanKeys);
            return false;
        }
    }
    if (d.contains("format") && d["format"] != "qolt-plan") {
        error = "\"format\" must be \"qolt-plan\"";
        return false;
    }
    if (d.contains("version") && d["version"] != kPlanFormatVersion) {
        error = "\"version\" must be " + std::to_string(kPlanFormatVersion) + " (this tool's plan format)";
        return false;
    }
    for (const char* k : {"name", "description", "reference"}) {
        if (d.contains(k) && !d[k].is_string()) {
            error = std::string("\"") + k + "\" must be a text";
            return false;
        }
    }
    plan.name = d.value("name", std::string());
    if (!d.contains("steps") || !d["steps"].is_array() || d["steps"].empty()) {
        error = "\"steps\" must be a list of at least one step";
        return false;
    }
    const PlanJson& steps = d["steps"];
    for (size_t i = 0; i < steps.size(); ++i) {
        PlanStep step;
        if (!ParseStep(steps[i], i, baseDir, checkFiles, step, error)) {
            return false;
        }
        for (const PlanStep& earlier : plan.steps) {
            if (earlier.label == step.label) {
                error =
                    StepName(i, step.label) + ": the label is taken by an earlier step (labels are unique)";
                return false;
            }
        }
        plan.steps.push_back(std::move(step));
    }
    bool responseLimits = false;
    for (const PlanStep& s : plan.steps) {
        for (const qoltanalysis::Limit& l : s.limits) {
            responseLimits = responseLimits || l.figure == qoltanalysis::Figure::ResponseDb ||
                             l.figure == qoltanalysis::Figure::ResponsePercent ||
                             l.figure == qoltanalysis::Figure::ResponseRatio;
        }
    }
    if (d.contains("reference")) {
        const std::string label = d["reference"].get<std::string>();
        for (size_t i = 0; i < plan.steps.size(); ++i) {
            if (plan.steps[i].label == label) {
                plan.reference = static_cast<int>(i);
            }
        }
        if (plan.reference < 0) {
            error = "\"reference\": no step is labelled \"" + label + "\"";
            return false;
        }
        if (!plan.steps[static_cast<size_t>(plan.reference)].IsSine()) {
            error = "\"reference\": step \"" + label + "\" is not a play sine step";
            return false;
        }
    } else if (responseLimits) {
        error = "response limits need a \"reference\" (the label of the sine step responses are relative to)";
        return false;
    }
    return true;
}

bool ReadPlanFile(const std::string& path, Plan& plan, std::string& error) {
    PlanJson document;
    if (!ReadJsonFile(path, document, error)) {
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!ParsePlan(document, dir, plan, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace qoltcli

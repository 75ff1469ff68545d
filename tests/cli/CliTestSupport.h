// Running the built tools from tests: programs with arguments, their exit status and output, a child kept
// running (qolt-sim) while the test drives another, and small readers for what they write.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace clitest {

#ifndef QOLT_CLI_BIN
#error "QOLT_CLI_BIN must name the built qolt program"
#endif

inline const char* QoltBin() {
    return QOLT_CLI_BIN;
}
inline const char* SimBin() {
    return QOLT_SIM_BIN;
}
inline const char* ExampleBin() {
    return QOLT_EXAMPLE_BIN;
}
// The repository (README, examples) and the version the build was made from.
inline std::string SourcePath(const std::string& relative) {
    return std::string(QOLT_SOURCE_DIR) + "/" + relative;
}
inline const char* ProjectVersion() {
    return QOLT_PROJECT_VERSION;
}

struct RunResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    bool timedOut = false;
    std::string out, err;
};

// A started program with its stdout and stderr on pipes.
class Child {
public:
    Child() = default;
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(5));
        }
        CloseFds();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // `stderrFd` >= 0: the child's stderr goes there (a terminal, say) instead of a pipe.
    bool Start(const std::vector<std::string>& args, int stderrFd = -1) {
        int out[2], err[2] = {-1, -1};
        if (pipe2(out, O_CLOEXEC) != 0) {
            return false;
        }
        if (stderrFd < 0 && pipe2(err, O_CLOEXEC) != 0) {
            close(out[0]);
            close(out[1]);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, stderrFd >= 0 ? stderrFd : err[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (err[1] >= 0) {
            close(err[1]);
        }
        outFd_ = out[0];
        errFd_ = err[0];
        if (rc != 0) {
            pid_ = -1;
            CloseFds();
            return false;
        }
        return true;
    }

    pid_t Pid() const { return pid_; }
    void Signal(int sig) const {
        if (pid_ > 0) {
            kill(pid_, sig);
        }
    }

    // Reads what is there until the deadline; true when `stop` returned true on the output so far.
    template <typename Stop> bool ReadUntil(Stop stop, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!stop(result_.out)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Pump(static_cast<int>(left.count()))) {
                return stop(result_.out);
            }
        }
        return true;
    }

    // Waits for the end, reading the output meanwhile; kills it after the time-out.
    RunResult Wait(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (pid_ > 0) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                while (Pump(0)) {
                }
                if (WIFEXITED(status)) {
                    result_.exitCode = WEXITSTATUS(status);
                } else if (WIFSIGNALED(status)) {
                    result_.signal = WTERMSIG(status);
                }
                pid_ = -1;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                result_.timedOut = true;
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                pid_ = -1;
                break;
            }
            Pump(20);
        }
        CloseFds();
        return result_;
    }

    const std::string& Out() const { return result_.out; }

private:
    // One poll over both pipes; false when both are at their end (or on error).
    bool Pump(int timeoutMs) {
        pollfd fds[2];
        nfds_t n = 0;
        if (outFd_ >= 0) {
            fds[n++] = {outFd_, POLLIN, 0};
        }
        if (errFd_ >= 0) {
            fds[n++] = {errFd_, POLLIN, 0};
        }
        if (n == 0) {
            if (timeoutMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
            }
            return false;
        }
        const int ready = poll(fds, n, timeoutMs);
        if (ready <= 0) {
            return ready == 0 && timeoutMs > 0;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            std::string& sink = fds[i].fd == outFd_ ? result_.out : result_.err;
            if (got > 0) {
                sink.append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                int& fd = fds[i].fd == outFd_ ? outFd_ : errFd_;
                close(fd);
                fd = -1;
            }
        }
        return true;
    }

    void CloseFds() {
        if (outFd_ >= 0) {
            close(outFd_);
            outFd_ = -1;
        }
        if (errFd_ >= 0) {
            close(errFd_);
            errFd_ = -1;
        }
    }

    pid_t pid_ = -1;
    int outFd_ = -1, errFd_ = -1;
    RunResult result_;
};

inline RunResult Run(const std::vector<std::string>& args,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    Child child;
    if (!child.Start(args)) {
        ADD_FAILURE() << "cannot start " << args.at(0);
        return {};
    }
    return child.Wait(timeout);
}

// qolt with arguments.
inline RunResult Qolt(const std::vector<std::string>& args,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    std::vector<std::string> all{QoltBin()};
    all.insert(all.end(), args.begin(), args.end());
    return Run(all, timeout);
}

inline std::string Describe(const RunResult& r) {
    std::ostringstream s;
    s << "exit " << r.exitCode << (r.signal != 0 ? " signal " + std::to_string(r.signal) : "")
      << (r.timedOut ? " (timed out)" : "") << "\nstdout: " << r.out << "\nstderr: " << r.err;
    return s.str();
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Runs a python3 program with `input` on stdin... through a file, and returns what it printed; the
// program reads the file named by sys.argv[1].
inline RunResult Python(const std::string& program, const std::string& inputPath) {
    // Debian's own interpreter when there (an environment's shims can take a second to start).
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    return Run({"/usr/bin/env", python, "-c", program, inputPath}, std::chrono::seconds(30));
}

// Parses `json` with python3 and evaluates `expression` over it (as `d`); returns what it printed, or
// "PARSE-ERROR" when the text is not JSON.
inline std::string JsonQuery(const std::string& dir, const std::string& json, const std::string& expression) {
    const std::string path = dir + "/query.json";
    WriteFile(path, json);
    const RunResult r = Python("import json,sys\n"
                               "try:\n"
                               "    d = json.load(open(sys.argv[1]))\n"
                               "except Exception as e:\n"
                               "    print('PARSE-ERROR', e); sys.exit(0)\n"
                               "print(" +
                                   expression + ")\n",
                               path);
    std::string out = r.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return r.exitCode == 0 ? out : "PYTHON-FAILED: " + r.err;
}

// The lines "key value" a qolt-sim prints when ready.
inline std::map<std::string, std::string> ReadyLines(const std::string& text) {
    std::map<std::string, std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        if (space != std::string::npos) {
            lines[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return lines;
}

} // namespace clitest

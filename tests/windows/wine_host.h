// The Linux side's helpers for the tests that drive Windows programs under Wine: running a
// program with a deadline, the Wine prefix and its registry, and the checks' tally.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace winehost {

using Clock = std::chrono::steady_clock;

inline int failures = 0;

inline void check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    if (!ok)
        ++failures;
}

struct Result {
    int status = -1;
    bool timedOut = false;
    std::string out;
};

// Runs argv with its output collected, calling whileWaiting (when given) between looks and as
// soon as watchFd has something to read. Quiet: Wine's own chatter (a server it starts inherits
// the stream) goes nowhere. A program that overruns its deadline is killed with its children.
inline Result run(const std::vector<std::string>& argv, int timeoutSeconds, bool quiet = false,
                  const std::function<void()>& whileWaiting = {}, int watchFd = -1) {
    Result result;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(out[1], STDOUT_FILENO);
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::perror(args[0]);
        ::_exit(127);
    }
    ::close(out[1]);
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    bool open = true;
    while (open) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {watchFd, POLLIN, 0}};
        ::poll(fds, 2, 100);
        if (fds[0].revents) {
            char buffer[512];
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n > 0)
                result.out.append(buffer, size_t(n));
            else
                open = false;
        }
        if (whileWaiting)
            whileWaiting();
        if (Clock::now() > deadline) {
            result.timedOut = true;
            ::kill(-pid, SIGKILL);
            break;
        }
    }
    ::close(out[0]);
    ::waitpid(pid, &result.status, 0);
    return result;
}

inline bool exitedWith(const Result& r, int code) {
    return !r.timedOut && WIFEXITED(r.status) && WEXITSTATUS(r.status) == code;
}

inline bool contains(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const std::string& l : lines) {
        if (l == wanted)
            return true;
    }
    return false;
}

struct Wine {
    std::string runner;
    std::string prefix;

    std::vector<std::string> command(std::vector<std::string> args) const {
        args.insert(args.begin(), {runner, prefix});
        return args;
    }

    bool stopServer() const {
        run({"wineserver", "-k"}, 30, true);
        return waitForServer();
    }

    // Waits until every program of the prefix has ended (an uninstaller goes on in a copy of
    // itself after the one started has returned).
    bool waitForServer() const { return exitedWith(run({"wineserver", "-w"}, 120, true), 0); }

    // The lines of `reg query KEY /s`, with runs of blanks made one.
    std::vector<std::string> registryLines(const std::string& key) const {
        const Result r = run(command({"reg", "query", key, "/s"}), 120, true);
        std::vector<std::string> lines;
        std::istringstream in(r.out);
        std::string line;
        while (std::getline(in, line)) {
            std::string flat;
            for (char c : line) {
                if (c == '\r')
                    continue;
                if (c == ' ' || c == '\t') {
                    if (!flat.empty() && flat.back() != ' ')
                        flat += ' ';
                } else {
                    flat += c;
                }
            }
            while (!flat.empty() && flat.back() == ' ')
                flat.pop_back();
            if (!flat.empty())
                lines.push_back(flat);
        }
        return lines;
    }
};

}  // namespace winehost

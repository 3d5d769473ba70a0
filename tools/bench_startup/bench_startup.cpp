// qev_bench_startup: time from starting a program to its first top-level window being mapped,
// for QEV and for the smallest Qt Widgets window, run alternately on a private Xvfb server.
// Prints "name median_ms" lines and the ratio; exits 1 when QEV takes over 1.3 times as long.

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kLimit = 1.3;

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        const bool overridden = std::any_of(extraEnv.begin(), extraEnv.end(), [&](auto& x) {
            return s.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
        });
        if (!overridden)
            env.push_back(s);
    }
    std::vector<char*> a, e;
    for (auto& s : argv)
        a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    for (auto& s : env)
        e.push_back(s.data());
    e.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, a[0], nullptr, nullptr, a.data(), e.data()) != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

void stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A private X server; -displayfd makes it pick a free display number and tell us.
struct Xvfb {
    pid_t pid = -1;
    std::string display;

    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        const std::string fd = std::to_string(fds[1]);
        pid = spawn(
            {"/usr/bin/Xvfb", "-displayfd", fd, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
            {});
        close(fds[1]);
        char buf[32] = {};
        ssize_t n = 0, got;
        pollfd p{fds[0], POLLIN, 0};
        while (n < 31 && poll(&p, 1, 10000) > 0 && (got = read(fds[0], buf + n, 31 - n)) > 0) {
            n += got;
            if (std::memchr(buf, '\n', n))
                break;
        }
        close(fds[0]);
        if (n == 0) {
            stop(pid);
            throw std::runtime_error("Xvfb did not start");
        }
        display = ":" + std::string(buf, std::strcspn(buf, "\n"));
    }
    ~Xvfb() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

class MapWatcher {
public:
    explicit MapWatcher(const std::string& display) {
        conn_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(conn_))
            throw std::runtime_error("cannot connect to " + display);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(conn_);
    }
    ~MapWatcher() { xcb_disconnect(conn_); }

    // Waits for a top-level window to be mapped; false on timeout.
    bool waitForMap(Clock::time_point deadline) {
        for (;;) {
            while (xcb_generic_event_t* ev = xcb_poll_for_event(conn_)) {
                const bool mapped = (ev->response_type & 0x7F) == XCB_MAP_NOTIFY;
                std::free(ev);
                if (mapped)
                    return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{xcb_get_file_descriptor(conn_), POLLIN, 0};
            poll(&p, 1, int(left.count()));
        }
    }
    void drain() {
        xcb_aux_sync();
        while (xcb_generic_event_t* ev = xcb_poll_for_event(conn_))
            std::free(ev);
    }

private:
    void xcb_aux_sync() {
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }
    xcb_connection_t* conn_;
    xcb_window_t root_;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path here = fs::canonical("/proc/self/exe").parent_path();
    std::string qev = (here / "qev").string(), baseline = (here / "qev_bench_baseline").string();
    int runs = 11;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--qev" && i + 1 < argc)
            qev = argv[++i];
        else if (a == "--baseline" && i + 1 < argc)
            baseline = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: qev_bench_startup [--runs N] [--qev PATH] [--baseline PATH]\n");
            return 2;
        }
    }

    try {
        Xvfb server;
        MapWatcher watcher(server.display);
        char scratch[] = "/tmp/qev-bench-XXXXXX";
        if (!mkdtemp(scratch))
            throw std::runtime_error("cannot create a scratch folder");
        // QEV gets a fresh configuration folder, so no stored settings and no real port interfere.
        const std::vector<std::string> env = {"DISPLAY=" + server.display, "QT_QPA_PLATFORM=xcb",
                                              std::string("XDG_CONFIG_HOME=") + scratch,
                                              std::string("XDG_RUNTIME_DIR=") + scratch};
        auto once = [&](const std::vector<std::string>& command) {
            const std::string& program = command[0];
            watcher.drain();
            const auto start = Clock::now();
            const pid_t pid = spawn(command, env);
            const bool mapped = watcher.waitForMap(start + std::chrono::seconds(20));
            const auto end = Clock::now();
            stop(pid);
            if (!mapped)
                throw std::runtime_error(program + " showed no window within 20 s");
            return std::chrono::duration<double, std::milli>(end - start).count();
        };
        const std::vector<std::string> plain = {baseline}, text = {baseline, "--label"},
                                       app = {qev};
        once(plain);  // warm the page cache for all, untimed
        once(text);
        once(app);
        std::vector<double> plainMs, textMs, appMs;
        for (int i = 0; i < runs; ++i) {
            // Rotate which goes first, so a drift in machine load hits all alike.
            for (int k = 0; k < 3; ++k) {
                switch ((i + k) % 3) {
                    case 0:
                        plainMs.push_back(once(plain));
                        break;
                    case 1:
                        textMs.push_back(once(text));
                        break;
                    default:
                        appMs.push_back(once(app));
                }
            }
        }
        fs::remove_all(scratch);
        const double b = median(plainMs), t = median(textMs), q = median(appMs), ratio = q / b;
        std::printf("baseline_startup_ms %.1f\n", b);
        std::printf("baseline_with_text_startup_ms %.1f\n", t);
        std::printf("qev_startup_ms %.1f\n", q);
        std::printf("startup_ratio %.2f (limit %.1f, %d runs each)\n", ratio, kLimit, runs);
        std::printf("startup_ratio_to_text_window %.2f\n", q / t);
        return ratio <= kLimit ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qev_bench_startup: %s\n", e.what());
        return 2;
    }
}

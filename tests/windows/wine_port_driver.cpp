// The Linux side of the Windows port tests. It makes a pty, maps its slave as COM1 of a Wine
// prefix, runs a Windows program that sends on the port, and checks at the master the exact
// bytes and the line settings they came with.
//   wine_port_driver WINE_RUN PREFIX SCENARIO PROBE [QEV UI_DRIVER]
// Scenarios: config, time (the probe sends), missing (COM300), held (a second open of COM1),
// app (the real qev.exe, clicked under a virtual display, then its stored settings), cli (the
// console program qev-cli.exe: what it prints and its exit codes).
// Every step has a deadline; a program that overruns it is killed with its children.

#include "wine_host.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace winehost;

struct Line {
    int master = -1;
    std::string slave;
    std::string bytes;
    std::optional<termios> settings;  // as they were when the first byte arrived
};

// Reads what the master has; keeps the slave's settings of the moment the first byte came.
void drain(Line* line) {
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(line->master, buffer, sizeof buffer);
        if (n <= 0)
            return;
        if (!line->settings) {
            termios t{};
            if (::tcgetattr(line->master, &t) == 0)
                line->settings = t;
        }
        line->bytes.append(buffer, size_t(n));
    }
}

// Runs argv, watching the line meanwhile, and takes in what is still on its way after the end.
Result runOnLine(const std::vector<std::string>& argv, Line& line, int timeoutSeconds) {
    const Result result = run(
        argv, timeoutSeconds, false, [&line] { drain(&line); }, line.master);
    // Bytes written just before the program ended may still be on their way.
    const auto settle = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < settle) {
        pollfd fd{line.master, POLLIN, 0};
        ::poll(&fd, 1, 50);
        drain(&line);
    }
    return result;
}

std::string toHex(const std::string& bytes) {
    std::string hex;
    char digits[3];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        hex += digits;
    }
    return hex;
}

// The text after "KEY " on the first line of out that starts with it.
std::string field(const std::string& out, const std::string& key) {
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(key + " ", 0) == 0)
            return line.substr(key.size() + 1);
        if (line == key)
            return {};
    }
    return "<no " + key + " line>";
}

bool openLine(Line& line) {
    line.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line.master < 0 || ::grantpt(line.master) != 0 || ::unlockpt(line.master) != 0)
        return false;
    line.slave = ::ptsname(line.master);
    // Held open here, so that the master never sees the line hang up between programs.
    return ::open(line.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) >= 0;
}

// Ports are made when the server starts: set the name, then start it again.
// startServer: start it here, so that its teardown stays out of the test's output. Not
// for a program with windows: a server started without the display keeps them from showing.
bool mapCom(const Wine& wine, int n, const std::string& path, bool startServer) {
    const Result r =
        run(wine.command({"reg", "add", "HKLM\\Software\\Wine\\Ports", "/v",
                          "COM" + std::to_string(n), "/t", "REG_SZ", "/d", path, "/f"}),
            180, true);
    if (!exitedWith(r, 0))
        return false;
    if (!wine.stopServer())
        return false;
    return !startServer || exitedWith(run({"wineserver", "-p10"}, 30, true), 0);
}

void checkLineSettings(const Line& line) {
    if (!line.settings) {
        check(false, "line settings seen with the first byte");
        return;
    }
    const termios& t = *line.settings;
    check(::cfgetospeed(&t) == B4800, "4800 baud");
    check((t.c_cflag & CSIZE) == CS8, "8 data bits");
    check(!(t.c_cflag & PARENB), "no parity");
    check(!(t.c_cflag & CSTOPB), "one stop bit");
    check(!(t.c_oflag & OPOST), "bytes leave unchanged (no output processing)");
}

void sendScenario(const Wine& wine, Line& line, const std::string& probe, const std::string& kind) {
    const Result r = runOnLine(wine.command({probe, "send", "1", kind}), line, 120);
    check(exitedWith(r, 0), "the probe sent (output: " + r.out + ")");
    const std::string expected = field(r.out, "EXPECT");
    if (kind == "time") {
        // STX, 12:34:56, 02/29/24, ETX
        check(expected == toHex(std::string("\x02") + "123456" + "022924" + "\x03"),
              "the time-set message");
    } else {
        check(expected.size() == 82 * 2, "an 82-byte configuration");
    }
    check(toHex(line.bytes) == expected,
          "exactly the message on the line: got " + toHex(line.bytes));
    checkLineSettings(line);
}

void appScenario(const Wine& wine, Line& line, const std::string& probe, const std::string& qev,
                 const std::string& ui) {
    const Result expect = run(wine.command({probe, "expect-config"}), 120);
    const std::string expected = field(expect.out, "EXPECT");
    check(expected.size() == 82 * 2, "the default configuration from the probe");
    // A first run: nothing stored yet.
    run(wine.command({"reg", "delete", "HKCU\\Software\\QEV", "/f"}), 120, true);
    // The server those two started has no display, and windows made under it never show:
    // qev.exe must start the next one, under the virtual display.
    wine.stopServer();

    std::string windowsPath = "Z:" + qev;
    for (char& c : windowsPath) {
        if (c == '/')
            c = '\\';
    }
    std::vector<std::string> args{"xvfb-run", "-a", "-s", "-screen 0 1024x768x24"};
    for (const std::string& a : wine.command({ui, windowsPath}))
        args.push_back(a);
    const Result r = runOnLine(args, line, 280);
    check(exitedWith(r, 0), "qev.exe was clicked and closed normally (output: " + r.out + ")");
    check(toHex(line.bytes) == expected,
          "qev.exe sent exactly the default configuration: got " + toHex(line.bytes));
    checkLineSettings(line);

    const auto stored = wine.registryLines("HKCU\\Software\\QEV\\MainForm");
    check(contains(stored, "FormVersion REG_DWORD 0x0"), "FormVersion stored as a DWORD 0");
    check(contains(stored, "RadioGroup1_ItemIndex REG_DWORD 0x0"), "the port stored as DWORD 0");
    check(contains(stored, "Count REG_DWORD 0x10"), "16 zone lines stored");
    check(contains(stored, "Item0 REG_SZ Zone 00 +00:00 0:No DST,12 hr"), "Item0 as a string");
    check(contains(stored, "Item15 REG_SZ Zone 15 +00:00 0:No DST,12 hr"), "Item15 as a string");
    if (failures) {
        for (const std::string& l : stored)
            std::printf("  stored: %s\n", l.c_str());
    }
}

// A ser2net on 127.0.0.1 serving the line through RFC 2217, its line at 9600 baud until QEV sets
// it; the port it listens on, once it takes connections (0 when it never does).
int startSer2net(const std::string& device, pid_t& pid) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(probe);
    const int port = ntohs(a.sin_port);
    const std::string config = "connection: &clock\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                               std::to_string(port) + "\n  connector: serialdev," + device +
                               ",9600n81,local\n";
    const std::string pidFile = "/tmp/qev-wine-ser2net-" + std::to_string(::getpid()) + ".pid";
    pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execlp("ser2net", "ser2net", "-n", "-u", "-P", pidFile.c_str(), "-Y", config.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 250; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        const bool up = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        if (up)
            return port;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

// A clock behind ser2net, reached through Winsock and RFC 2217: the same bytes on the line, set
// to 4800 8N1 by the protocol; once the server is gone, the refusal is told.
void serverScenario(Line& line, const std::string& expected,
                    const std::function<Result(std::vector<std::string>)>& qevCli) {
    pid_t server = -1;
    const int port = startSer2net(line.slave, server);
    check(port != 0, "ser2net serves the line");
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(port);
    Result r = qevCli({"ports", "--link", "COM20", url});
    check(exitedWith(r, 0), "ports --link COM20 " + url + " (output: " + r.out + ")");
    line.bytes.clear();
    line.settings.reset();
    r = qevCli({"send-zones", "--port", "COM20"});
    check(exitedWith(r, 0) && r.out.find("Sent the zone configuration (16 zones) to COM20 (" + url +
                                         ")") != std::string::npos,
          "send-zones through the server exits 0 and names it (output: " + r.out + ")");
    check(toHex(line.bytes) == expected,
          "the configuration on the server's line: got " + toHex(line.bytes));
    checkLineSettings(line);
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    line.bytes.clear();
    r = qevCli({"send-zones", "--port", "COM20"});
    check(exitedWith(r, 1) && r.out.find("refused the connection") != std::string::npos,
          "a server that is gone is told as such (output: " + r.out + ")");
    check(exitedWith(qevCli({"ports", "--unlink", "COM20"}), 0), "ports --unlink COM20");
}

// qev-cli.exe as a console runs it: its output (both streams) and its exit code.
void cliScenario(const Wine& wine, Line& line, const std::string& probe, const std::string& cli) {
    const std::string expected =
        field(run(wine.command({probe, "expect-config"}), 120).out, "EXPECT");
    const auto qevCli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), cli);
        std::vector<std::string> argv{"sh", "-c", "exec \"$@\" 2>&1", "sh"};
        for (const std::string& a : wine.command(args))
            argv.push_back(a);
        return runOnLine(argv, line, 120);
    };
    Result r = qevCli({"send-zones", "--port", "COM1"});
    check(exitedWith(r, 0), "send-zones exits 0 (output: " + r.out + ")");
    check(r.out.find("Sent the zone configuration (16 zones) to COM1") != std::string::npos,
          "it says what it sent");
    check(toHex(line.bytes) == expected,
          "exactly the default configuration on the line: got " + toHex(line.bytes));
    line.bytes.clear();
    serverScenario(line, expected, qevCli);
    line.bytes.clear();

    // A zone that follows a time zone of Windows' own zone data: sent at its offset (Tokyo's
    // +09:00 all year), and not again while nothing has changed; a name Windows lacks is refused.
    r = qevCli({"zones", "--follow", "1", "Asia/Tokyo"});
    check(exitedWith(r, 0) && r.out.find("Zone 01 follows Asia/Tokyo: +09:00 now") == 0,
          "zones --follow takes Windows' zone data (output: " + r.out + ")");
    r = qevCli({"send-zones", "--if-changed", "--port", "COM1"});
    check(exitedWith(r, 0) && line.bytes.size() == 82 &&
              line.bytes.substr(6, 5) == std::string("\x2B\x09\x00\x00\x00", 5),
          "send-zones --if-changed sends zone 01 at +09:00: got " + toHex(line.bytes));
    line.bytes.clear();
    r = qevCli({"send-zones", "--if-changed", "--port", "COM1"});
    check(exitedWith(r, 0) && r.out.find("Nothing sent to COM1") == 0 && line.bytes.empty(),
          "and nothing the second time (output: " + r.out + ")");
    r = qevCli({"zones", "--follow", "2", "Mars/Olympus_Mons"});
    check(exitedWith(r, 2), "an unknown time zone exits 2 (output: " + r.out + ")");
    check(exitedWith(qevCli({"zones", "--unfollow", "1"}), 0), "zones --unfollow exits 0");

    // COM7 leads to a device that is not there, as an unplugged adapter's would. (Wine gives
    // the open no "not found" for it, so the reason's words are Wine's own.)
    check(mapCom(wine, 7, "/dev/qev-no-such-device", true), "COM7 mapped to a missing device");
    r = qevCli({"sync", "--port", "COM7"});
    check(exitedWith(r, 1), "a missing port exits 1 (output: " + r.out + ")");
    check(r.out.rfind("qev: COM7: ", 0) == 0, "and says which port failed");

    r = qevCli({"-port", "COM1", "sync"});
    check(exitedWith(r, 2), "a wrong command line exits 2 (output: " + r.out + ")");
    check(r.out.rfind("qev: ", 0) == 0 && r.out.find("-port") != std::string::npos,
          "and names what is wrong");
    check(line.bytes.empty(), "nothing more reaches the line");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || (std::strcmp(argv[3], "app") == 0 && argc < 7) ||
        (std::strcmp(argv[3], "cli") == 0 && argc < 6)) {
        std::fprintf(stderr, "usage: wine_port_driver WINE_RUN PREFIX SCENARIO PROBE [QEV UI]\n");
        return 2;
    }
    const Wine wine{argv[1], argv[2]};
    const std::string scenario = argv[3];
    const std::string probe = argv[4];
    ::setenv("WINEPREFIX", wine.prefix.c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree=d;mshtml=d", 1);

    Line line;
    if (!openLine(line)) {
        std::perror("pty");
        return 1;
    }
    // The runner has left COM2 to COM255 empty, so none of them leads to a real port.
    if (!mapCom(wine, 1, line.slave, scenario != "app")) {
        std::fprintf(stderr, "could not map the ports in %s\n", wine.prefix.c_str());
        return 1;
    }
    std::printf("COM1 is %s\n", line.slave.c_str());

    if (scenario == "config" || scenario == "time") {
        sendScenario(wine, line, probe, scenario);
    } else if (scenario == "missing") {
        // The prefix has names up to COM256 (empty, or Wine's own); COM300 does not exist.
        const Result r = runOnLine(wine.command({probe, "send", "300", "config"}), line, 120);
        check(field(r.out, "ERROR EBadId:") == "Specified comport doesn't exist",
              "a missing port is reported as such (output: " + r.out + ")");
        check(line.bytes.empty(), "nothing reaches COM1");
    } else if (scenario == "held") {
        const Result r = runOnLine(wine.command({probe, "held", "1"}), line, 120);
        check(field(r.out, "ERROR EAlreadyOpen:") == "Device already open",
              "a port held by another open is refused (output: " + r.out + ")");
        check(line.bytes.empty(), "nothing is sent while the port is held");
    } else if (scenario == "app") {
        appScenario(wine, line, probe, argv[5], argv[6]);
    } else if (scenario == "cli") {
        cliScenario(wine, line, probe, argv[5]);
    } else {
        std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
        return 2;
    }
    run({"wineserver", "-k"}, 30, true);
    return failures == 0 ? 0 : 1;
}

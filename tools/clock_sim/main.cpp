// qev_clock_sim: stands in for the clock device. It links a pseudo-terminal as COMn in QEV's
// ports folder and prints, in plain words, every message QEV sends to it.

#include "decoder.h"
#include "ports/device_naming.h"
#include "pty_port.h"
#include "timezones/offset_changes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using qev::clocksim::Decoder;
using qev::clocksim::Report;

volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) {
    stopRequested = 1;
}

// A byte takes about 2 ms at 4800 baud; a gap this long means the sender has stopped.
constexpr int kQuietMs = 300;

void out(const QString& line) {
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

// --at: the instant the zones' local times are shown for, besides now.
std::optional<qint64> shownAt;

void print(const Report& r) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString stamp = now.toString(QStringLiteral("hh:mm:ss.zzz"));
    out(QStringLiteral("[%1] %2").arg(stamp, r.lines.value(0)));
    for (qsizetype i = 1; i < r.lines.size(); ++i)
        out(r.lines[i]);
    for (const QString& issue : r.issues)
        out(QStringLiteral("  ! ") + issue);
    out(QStringLiteral("  bytes (%1): %2")
            .arg(r.bytes.size())
            .arg(qev::clocksim::hexBytes(r.bytes)));
    if (r.kind == Report::Kind::ZoneConfig) {
        for (const qint64 at : {now.toSecsSinceEpoch(), shownAt.value_or(-1)}) {
            if (at < 0)
                continue;
            out(QStringLiteral("The zones show, at %1:").arg(qev::utcText(at)));
            for (const QString& line : qev::clocksim::shownZoneLines(r.bytes, at))
                out(line);
        }
    }
    std::fflush(stdout);
}

void usage(std::FILE* to) {
    std::fputs(
        "usage: qev_clock_sim [--com N] [--ports FOLDER] [--at TIME] [--run PROGRAM [ARGS...]]\n"
        "  Links a pseudo-terminal as COM<N> (default 1) in FOLDER (default QEV's ports folder,\n"
        "  $XDG_CONFIG_HOME/QEV/ports) and prints every message received on it until Ctrl+C,\n"
        "  with the local time each zone shows now, as the device shows it (its offset, and an\n"
        "  hour more while the US rule it names is in force), and at TIME with --at\n"
        "  (\"2027-03-28T01:30:00Z\", UTC).\n"
        "  With --run, starts PROGRAM with a private, temporary configuration folder whose COM<N>\n"
        "  is the simulator, and stops when PROGRAM ends; your own settings are not touched.\n",
        to);
}

struct Options {
    bool help = false;
    int com = 1;
    QString ports;
    std::vector<std::string> run;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--com" && i + 1 < argc) {
            bool ok = false;
            o.com = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (!ok || o.com < 1 || o.com > 50)
                throw std::invalid_argument("--com takes a port number from 1 to 50");
        } else if (a == "--at" && i + 1 < argc) {
            QDateTime at = QDateTime::fromString(QString::fromLocal8Bit(argv[++i]), Qt::ISODate);
            if (at.timeSpec() == Qt::LocalTime)
                at.setTimeSpec(Qt::UTC);  // a time without its offset is UTC, as everywhere here
            if (!at.isValid())
                throw std::invalid_argument("--at takes a time such as 2027-03-28T01:30:00Z");
            shownAt = at.toUTC().toSecsSinceEpoch();
        } else if (a == "--ports" && i + 1 < argc) {
            o.ports = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--run" && i + 1 < argc) {
            o.run.assign(argv + i + 1, argv + argc);
            break;
        } else {
            throw std::invalid_argument("unknown argument: " + a);
        }
    }
    return o;
}

pid_t spawn(const std::vector<std::string>& command, const QString& configHome) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0)
            env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + configHome.toStdString());
    std::vector<char*> envp, argv;
    for (auto& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    for (const auto& s : command)
        argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        throw std::runtime_error("cannot start " + command[0]);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // for QDir and the local 8-bit codec only; no event loop
    Options opt;
    try {
        opt = parse(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qev_clock_sim: %s\n", e.what());
        usage(stderr);
        return 2;
    }
    if (opt.help) {
        usage(stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    struct sigaction sa {};
    sa.sa_handler = requestStop;  // no SA_RESTART: a signal cuts the wait short
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    try {
        QTemporaryDir privateConfig;
        QString ports = opt.ports;
        if (!opt.run.empty()) {
            if (!privateConfig.isValid())
                throw std::runtime_error("cannot create a temporary folder");
            ports = privateConfig.filePath(QStringLiteral("QEV/ports"));
        } else if (ports.isEmpty()) {
            ports = qev::portLinkFolder();
        }

        qev::clocksim::PtyPort pty;
        pty.linkAs(ports, opt.com);
        out(QStringLiteral("Clock simulator listening as COM%1 (%2 -> %3)")
                .arg(opt.com)
                .arg(pty.linkPath(), pty.slavePath()));

        pid_t child = -1;
        if (!opt.run.empty()) {
            child = spawn(opt.run, privateConfig.path());
            out(QStringLiteral("Started %1; choose \"Com %2\" there and send.")
                    .arg(QString::fromStdString(opt.run[0]))
                    .arg(opt.com));
        } else {
            out(QStringLiteral("Start QEV, choose \"Com %1\" and send; Ctrl+C ends.").arg(opt.com));
        }
        std::fflush(stdout);

        Decoder decoder;
        int childStatus = 0;
        while (!stopRequested) {
            const int wait = decoder.hasPending() ? kQuietMs : (child > 0 ? 200 : -1);
            const QByteArray data = pty.read(wait);
            const auto reports = data.isEmpty() ? decoder.flush() : decoder.feed(data);
            for (const Report& r : reports)
                print(r);
            if (child > 0 && data.isEmpty() && waitpid(child, &childStatus, WNOHANG) == child) {
                child = -1;
                break;
            }
        }
        for (const Report& r : decoder.flush())
            print(r);
        if (child > 0) {
            kill(child, SIGTERM);
            waitpid(child, &childStatus, 0);
        }
        if (!opt.run.empty())
            return WIFEXITED(childStatus) ? WEXITSTATUS(childStatus) : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qev_clock_sim: %s\n", e.what());
        return 1;
    }
    return 0;
}

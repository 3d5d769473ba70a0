// Times the sync command on a pseudo terminal: each run records when the first byte of the
// time-set message reached the master, against the instant it was planned for (the start of
// the second it carries, less its 29.2 ms on the wire), and prints the absolute errors' median
// and 99th percentile in milliseconds: sync_error_p50_ms, sync_error_p99_ms.
//   bench_sync [runs] [--qev PATH | --window] [--ports N] [--ser2net]
// By default the sync command runs in-process; --qev runs that program's "sync" instead, and
// --window presses the window's "Sync w/PC and Send" (offscreen when there is no display).
// --ports N syncs N pseudo-terminals in one command, --ser2net one more port behind a real
// ser2net on 127.0.0.1 (in-process only); then the spread between the ports' first bytes is
// told too (sync_spread_p50_ms, sync_spread_p99_ms), and the server's port on its own.

#include "pty_pair.h"
#include "scoped_config.h"
#include "serial_servers.h"

#include "app/application.h"
#include "app/mainform_u.h"
#include "cli/cli_commands.h"
#include "cli/command_line.h"
#include "protocol/messages.h"
#include "serial/sync_timing.h"
#include "serial/transmitter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QPushButton>
#include <QTextStream>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Reads the master side, stamping the first byte of each burst with the computer's clock. The
// reading is done by a child process: a reader thread inside the sender's process was seen to
// hold up the sender's own writer (the two woken on one processor), which no device does.
class Receiver {
public:
    explicit Receiver(int fd) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0)  // not inherited by the qev processes started later
            std::abort();
        child_ = ::fork();
        if (child_ == 0) {
            ::close(p[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            stampInto(fd, p[1]);
            ::_exit(0);
        }
        ::close(p[1]);
        pipe_ = p[0];
        thread_ = std::thread([this] { collect(); });
    }
    ~Receiver() {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
        thread_.join();  // the pipe's end of file ends it
        ::close(pipe_);
    }
    void clear() {
        std::lock_guard lock(mutex_);
        bytes_.clear();
        firstNs_ = 0;
    }
    bool take(qsizetype n, int timeoutMs, QByteArray& bytes, qint64& firstNs) {
        for (int waited = 0; waited < timeoutMs; waited += 5) {
            {
                std::lock_guard lock(mutex_);
                if (bytes_.size() >= n) {
                    bytes = bytes_;
                    firstNs = firstNs_;
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    struct Record {
        qint64 ns;
        qint32 length;
        char bytes[256];
    };

    // The child: each read from the master, as it comes, with its time.
    static void stampInto(int master, int out) {
        Record r{};
        for (;;) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, -1) <= 0)
                continue;
            r.ns = qev::realtimeNowNs();
            const ssize_t got = ::read(master, r.bytes, sizeof r.bytes);
            if (got <= 0)
                continue;
            r.length = qint32(got);
            if (::write(out, &r, sizeof r) != ssize_t(sizeof r))
                return;
        }
    }

    void collect() {
        Record r{};
        while (readWhole(&r)) {
            std::lock_guard lock(mutex_);
            if (bytes_.isEmpty())
                firstNs_ = r.ns;
            bytes_.append(r.bytes, r.length);
        }
    }

    bool readWhole(Record* r) const {
        auto* at = reinterpret_cast<char*>(r);
        size_t done = 0;
        while (done < sizeof *r) {
            const ssize_t n = ::read(pipe_, at + done, sizeof *r - done);
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }

    pid_t child_ = -1;
    int pipe_ = -1;
    std::mutex mutex_;
    QByteArray bytes_;
    qint64 firstNs_ = 0;
    std::thread thread_;
};

// The second a time-set message carries: hhmmss then mmddyy, between STX and ETX.
bool secondOf(const QByteArray& m, qint64& second) {
    if (m.size() != qev::kTimeSetMessageSize || m.front() != '\x02' || m.back() != '\x03')
        return false;
    const auto pair = [&m](int at) { return m.mid(at, 2).toInt(); };
    const QDate date(2000 + pair(11), pair(7), pair(9));
    const QTime time(pair(1), pair(3), pair(5));
    if (!date.isValid() || !time.isValid())
        return false;
    second = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    return true;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const double at = p * double(v.size() - 1);
    const size_t lo = size_t(std::floor(at)), hi = size_t(std::ceil(at));
    return v[lo] + (v[hi] - v[lo]) * (at - double(lo));
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 50;
    int localPorts = 1;
    bool server = false;
    QString qev;
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--qev") && i + 1 < argc)
            qev = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QStringLiteral("--window"))
            window = true;
        else if (arg == QStringLiteral("--ports") && i + 1 < argc)
            localPorts = std::clamp(QString::fromLocal8Bit(argv[++i]).toInt(), 0, 40);
        else if (arg == QStringLiteral("--ser2net"))
            server = true;
        else
            runs = std::max(1, arg.toInt());
    }
    const bool several = localPorts != 1 || server;
    if (several && (window || !qev.isEmpty())) {
        std::fprintf(stderr, "--ports and --ser2net run the sync in-process only\n");
        return 2;
    }
    if (window && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (window)
        app = std::make_unique<qev::Application>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    qev::test::ScopedConfig links;
    // The lines, each read by a receiver of its own; the server's, when there is one, last.
    std::vector<std::unique_ptr<qev::test::PtyPair>> ptys;
    std::vector<std::unique_ptr<Receiver>> receivers;
    QList<quint16> ports;
    for (int n = 1; n <= localPorts; ++n) {
        ptys.push_back(std::make_unique<qev::test::PtyPair>());
        links.link(n, ptys.back()->slavePath());
        receivers.push_back(std::make_unique<Receiver>(ptys.back()->master()));
        ports << quint16(n);
    }
    std::unique_ptr<qev::test::Ser2Net> ser2net;
    if (server) {
        ser2net = std::make_unique<qev::test::Ser2Net>();
        if (!ser2net->running()) {
            std::fprintf(stderr, "ser2net did not start (is it installed?)\n");
            return 1;
        }
        links.link(localPorts + 1, ser2net->rfc2217Url());
        receivers.push_back(std::make_unique<Receiver>(ser2net->line().master()));
        ports << quint16(localPorts + 1);
    }
    const qint64 wireNs = qev::wireTimeNs(qev::kTimeSetMessageSize, 4800);
    // The window starts on "Com 1", which is the pty here: the settings folder is a new one.
    std::unique_ptr<qev::TMainForm> form;
    if (window) {
        form = std::make_unique<qev::TMainForm>();
        form->show();
    }

    std::vector<double> errors, spreads, serverErrors;
    for (int i = 0; i < runs; ++i) {
        for (const auto& receiver : receivers)
            receiver->clear();
        int status = 0;
        if (form) {
            form->Button2()->click();
        } else if (qev.isEmpty()) {
            QString out, err;
            QTextStream o(&out), e(&err);
            qev::CommandContext context{o, e, [] { return qev::ClockSync::Unknown; }, QString()};
            qev::Command command;
            command.kind = qev::CommandKind::Sync;
            command.ports = ports;
            status = qev::runCommand(command, context);
            e.flush();
            o.flush();
            if (status != 0)
                std::fprintf(stderr, "%s%s", qPrintable(out), qPrintable(err));
        } else {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(qev,
                    {QStringLiteral("sync"), QStringLiteral("--port"), QStringLiteral("COM1")});
            status = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit
                         ? p.exitCode()
                         : -1;
        }
        qint64 earliest = 0, latest = 0;
        for (size_t k = 0; k < receivers.size(); ++k) {
            QByteArray bytes;
            qint64 firstNs = 0, second = 0;
            if (status != 0 ||
                !receivers[k]->take(qev::kTimeSetMessageSize, 2000, bytes, firstNs) ||
                !secondOf(bytes, second)) {
                std::fprintf(stderr, "run %d, port %zu: no intact time-set message (status %d)\n",
                             i, k + 1, status);
                return 1;
            }
            const qint64 plannedNs = second * qev::kNanosPerSecond - wireNs;
            const double error = std::abs(double(firstNs - plannedNs)) / 1e6;
            (ser2net && k + 1 == receivers.size() ? serverErrors : errors).push_back(error);
            earliest = k == 0 ? firstNs : std::min(earliest, firstNs);
            latest = k == 0 ? firstNs : std::max(latest, firstNs);
        }
        spreads.push_back(double(latest - earliest) / 1e6);
    }
    const auto tell = [](const char* name, const std::vector<double>& v) {
        if (v.empty())
            return;
        std::printf("%s_p50_ms %.3f\n", name, percentile(v, 0.50));
        std::printf("%s_p99_ms %.3f\n", name, percentile(v, 0.99));
        std::printf("%s_max_ms %.3f\n", name, *std::max_element(v.begin(), v.end()));
        std::printf("%s_over_2ms %lld of %zu\n", name,
                    static_cast<long long>(
                        std::count_if(v.begin(), v.end(), [](double e) { return e > 2.0; })),
                    v.size());
    };
    tell("sync_error", errors);
    tell("server_error", serverErrors);
    if (several)
        tell("sync_spread", spreads);
    return 0;
}

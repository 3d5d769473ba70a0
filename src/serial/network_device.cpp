#include "serial/network_device.h"

#include "ports/network_port.h"
#include "serial/net_socket.h"
#include "serial/telnet_com_port.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>

namespace qev {

namespace {

using namespace telnet;
using Clock = std::chrono::steady_clock;

// Bytes waiting for room on the connection beyond which a write takes no more for now.
constexpr qsizetype kOutLimit = 4096;
constexpr int kSliceMs = 10;

QString parityName(quint8 value) {
    switch (value) {
        case 1:
            return QStringLiteral("no parity");
        case 2:
            return QStringLiteral("odd parity");
        case 3:
            return QStringLiteral("even parity");
        case 4:
            return QStringLiteral("mark parity");
        case 5:
            return QStringLiteral("space parity");
        default:
            return QStringLiteral("parity %1").arg(value);
    }
}

QString stopName(quint8 value) {
    switch (value) {
        case 1:
            return QStringLiteral("1 stop bit");
        case 2:
            return QStringLiteral("2 stop bits");
        case 3:
            return QStringLiteral("1.5 stop bits");
        default:
            return QStringLiteral("stop size %1").arg(value);
    }
}

QString flowName(quint8 value) {
    switch (value) {
        case kNoFlowControl:
            return QStringLiteral("no flow control");
        case kXonXoffFlowControl:
            return QStringLiteral("XON/XOFF flow control");
        case kHardwareFlowControl:
            return QStringLiteral("hardware flow control");
        default:
            return QStringLiteral("flow control %1").arg(value);
    }
}

// One line setting as the protocol carries it, and how a user reads its value.
struct Setting {
    quint8 command;
    QByteArray value;
    QString (*name)(const QByteArray&);
};

QString baudName(const QByteArray& v) {
    if (v.size() != 4)
        return QStringLiteral("an unreadable rate");
    const quint32 baud = quint32(quint8(v[0])) << 24 | quint32(quint8(v[1])) << 16 |
                         quint32(quint8(v[2])) << 8 | quint8(v[3]);
    return QStringLiteral("%1 baud").arg(baud);
}
QString dataName(const QByteArray& v) {
    return QStringLiteral("%1 data bits").arg(v.isEmpty() ? 0 : quint8(v[0]));
}
QString parityText(const QByteArray& v) {
    return parityName(v.isEmpty() ? 0 : quint8(v[0]));
}
QString stopText(const QByteArray& v) {
    return stopName(v.isEmpty() ? 0 : quint8(v[0]));
}
QString flowText(const QByteArray& v) {
    return flowName(v.isEmpty() ? 0 : quint8(v[0]));
}

QList<Setting> settingsOf(const LineSettings& s) {
    const quint8 parity = quint8(s.parity + 1);  // none, odd, even, mark, space
    const quint8 stop = s.stopBits == 0 ? 1 : (s.stopBits == 1 ? 3 : 2);
    const quint8 flow = s.outxCtsFlow ? kHardwareFlowControl
                        : s.outX      ? kXonXoffFlowControl
                                      : kNoFlowControl;
    return {
        {kSetBaudRate, TelnetComPort::baudValue(s.baud), baudName},
        {kSetDataSize, QByteArray(1, char(s.byteSize)), dataName},
        {kSetParity, QByteArray(1, char(parity)), parityText},
        {kSetStopSize, QByteArray(1, char(stop)), stopText},
        {kSetControl, QByteArray(1, char(flow)), flowText},
    };
}

class NetworkDevice final : public SerialDevice {
public:
    ~NetworkDevice() override { close(); }

    std::error_code open(const QString& devicePath) override {
        if (socket_.isOpen())
            return SerialErrc::device_busy;
        const auto server = parseNetworkPort(devicePath);
        if (!server)
            return SerialErrc::device_missing;
        server_ = *server;
        reason_.clear();
        {
            std::lock_guard lock(mutex_);
            telnet_ = TelnetComPort();
            out_.clear();
            received_.clear();
            closed_ = false;
            applied_.reset();
            dtr_.reset();
            rts_.reset();
        }
        if (const std::error_code err = socket_.connect(server_.host, server_.port,
                                                        kNetworkAnswerMs, cancelled_, reason_)) {
            socket_.close();
            return err;
        }
        if (rfc2217()) {
            if (const std::error_code err = greet()) {
                socket_.close();
                return err;
            }
        }
        return {};
    }

    bool isOpen() const override { return socket_.isOpen(); }
    void close() override { socket_.close(); }
    void setOpenCancelled(std::function<bool()> cancelled) override {
        cancelled_ = std::move(cancelled);
    }
    QString failureReason() const override { return reason_; }

    std::error_code setupQueues(int, int) override {
        return socket_.isOpen() ? std::error_code() : SerialErrc::invalid_handle;
    }

    std::error_code getState(LineSettings& settings) override {
        settings = state_;
        return {};
    }

    std::error_code setState(const LineSettings& settings) override {
        if (rfc2217()) {
            if (const std::error_code err = apply(settings))
                return err;
        }
        state_ = settings;
        return {};
    }

    void setControlLine(ControlLine line, bool on) override {
        if (!rfc2217())
            return;
        // Asked, not waited for: a server whose device has no modem lines gives no answer.
        const quint8 value =
            line == ControlLine::Dtr ? (on ? kDtrOn : kDtrOff) : (on ? kRtsOn : kRtsOff);
        std::lock_guard lock(mutex_);
        std::optional<bool>& last = line == ControlLine::Dtr ? dtr_ : rts_;
        if (last == on)
            return;
        last = on;
        out_ += TelnetComPort::command(kSetControl, value);
        flushLocked();
    }

    quint32 modemStatus() override { return 0; }

    std::error_code write(const char* data, qint64 length, qint64& written) override {
        written = 0;
        std::lock_guard lock(mutex_);
        pumpLocked();
        if (closed_)
            return SerialErrc::connection_closed;
        if (telnet_.suspended() || out_.size() >= kOutLimit)
            return flushLocked();
        const qint64 taken = std::min<qint64>(length, kOutLimit);
        out_ += rfc2217() ? TelnetComPort::escaped(data, taken) : QByteArray(data, taken);
        written = taken;
        return flushLocked();
    }

    std::error_code read(char* data, qint64 length, qint64& got) override {
        got = 0;
        std::lock_guard lock(mutex_);
        const std::error_code err = pumpLocked();
        if (!received_.isEmpty()) {
            got = std::min<qint64>(length, received_.size());
            std::memcpy(data, received_.constData(), size_t(got));
            received_.remove(0, got);
            return {};
        }
        if (err)
            return err;
        return closed_ ? std::error_code(SerialErrc::connection_closed) : std::error_code();
    }

    WaitResult waitWritable(int timeoutMs, std::initializer_list<Event*> wake) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            bool held;
            {
                std::lock_guard lock(mutex_);
                pumpLocked();
                flushLocked();
                if (closed_)
                    return {WaitResult::HangUp, -1};
                held = telnet_.suspended();
                if (!held && out_.size() < kOutLimit)
                    return {WaitResult::Ready, -1};
            }
            const int slice = std::min(millisecondsLeft(deadline), kSliceMs);
            // Suspended: the resume arrives as input, which the reader or this loop reads.
            const WaitResult w =
                held ? socket_.wait(false, slice, wake) : socket_.wait(true, slice, wake);
            if (w.kind == WaitResult::Woken)
                return w;
            if (millisecondsLeft(deadline) == 0)
                return {};
        }
    }

    WaitResult waitReadable(int timeoutMs, std::initializer_list<Event*> wake) override {
        {
            std::lock_guard lock(mutex_);
            if (!received_.isEmpty() || closed_)
                return {WaitResult::Ready, -1};
        }
        return socket_.wait(false, timeoutMs, wake);
    }

    WaitResult waitLineEvent(int timeoutMs, std::initializer_list<Event*> wake) override {
        const int fired = Event::waitAny(wake, timeoutMs);
        if (fired >= 0)
            return {WaitResult::Woken, fired};
        std::lock_guard lock(mutex_);
        return closed_ ? WaitResult{WaitResult::HangUp, -1} : WaitResult{};
    }

    qint64 outputQueued() override {
        std::lock_guard lock(mutex_);
        return out_.size() + socket_.unacknowledged();
    }

    // What the connection has taken cannot be called back; what waits for it can.
    void purgeOutput() override {
        std::lock_guard lock(mutex_);
        out_.clear();
    }
    void purgeInput() override {
        std::lock_guard lock(mutex_);
        received_.clear();
    }
    quint32 takeErrors() override { return 0; }

private:
    bool rfc2217() const { return server_.protocol == NetworkPort::Rfc2217; }

    // Sends what waits for the connection, as far as it takes it.
    std::error_code flushLocked() {
        while (!out_.isEmpty()) {
            qint64 sent = 0;
            if (const std::error_code err = socket_.send(out_.constData(), out_.size(), sent)) {
                if (err == SerialErrc::connection_closed)
                    closed_ = true;
                return err;
            }
            if (sent == 0)
                break;
            out_.remove(0, sent);
        }
        return {};
    }

    // Reads what has arrived: data for read(), the rest for the protocol.
    std::error_code pumpLocked() {
        char buffer[512];
        while (!closed_) {
            qint64 got = 0;
            bool peerClosed = false;
            if (const std::error_code err = socket_.receive(buffer, sizeof buffer, got, peerClosed))
                return err;
            if (peerClosed)
                closed_ = true;
            if (got == 0)
                break;
            if (!rfc2217()) {
                received_.append(buffer, got);
                continue;
            }
            QByteArray reply;
            telnet_.feed(buffer, got, received_, reply);
            out_ += reply;
        }
        return flushLocked();
    }

    // Waits until done() holds, reading the connection, for what is left of deadline.
    template <typename Done>
    bool awaitLocked(std::unique_lock<std::mutex>& lock, Clock::time_point deadline, Done done) {
        for (;;) {
            pumpLocked();
            if (done() || closed_)
                return done();
            const int left = millisecondsLeft(deadline);
            if (left == 0 || (cancelled_ && cancelled_()))
                return false;
            lock.unlock();
            socket_.wait(false, std::min(left, kSliceMs), {});
            lock.lock();
        }
    }

    std::error_code greet() {
        std::unique_lock lock(mutex_);
        out_ += telnet_.greeting();
        flushLocked();
        const auto deadline = Clock::now() + std::chrono::milliseconds(kNetworkAnswerMs);
        awaitLocked(lock, deadline, [this] { return telnet_.comPortAccepted().has_value(); });
        if (cancelled_ && cancelled_())
            return SerialErrc::open_cancelled;
        if (closed_) {
            reason_ = QStringLiteral("it closed the connection before the line was set");
            return SerialErrc::connection_closed;
        }
        if (!telnet_.comPortAccepted()) {
            reason_ = QStringLiteral("it did not answer QEV's offer of RFC 2217 within %1 seconds")
                          .arg(kNetworkAnswerMs / 1000);
            return SerialErrc::negotiation_timeout;
        }
        if (!*telnet_.comPortAccepted()) {
            reason_ = QStringLiteral("it refused RFC 2217 (the COM port option)");
            return SerialErrc::protocol_refused;
        }
        return {};
    }

    // Sends each setting that differs from what the server applied last, then checks that
    // every one was answered with the value asked for.
    std::error_code apply(const LineSettings& settings) {
        const QList<Setting> wanted = settingsOf(settings);
        std::unique_lock lock(mutex_);
        QList<Setting> asked;
        for (qsizetype i = 0; i < wanted.size(); ++i) {
            if (applied_ && applied_->at(i).value == wanted.at(i).value)
                continue;
            telnet_.takeAnswer(wanted.at(i).command);  // an old answer is no answer to this
            out_ += TelnetComPort::command(wanted.at(i).command, wanted.at(i).value);
            asked << wanted.at(i);
        }
        if (asked.isEmpty())
            return {};
        flushLocked();
        const auto deadline = Clock::now() + std::chrono::milliseconds(kNetworkAnswerMs);
        QList<std::optional<QByteArray>> answers(asked.size());
        const auto allAnswered = [&] {
            bool all = true;
            for (qsizetype i = 0; i < asked.size(); ++i) {
                if (!answers[i])
                    answers[i] = telnet_.takeAnswer(asked.at(i).command);
                all = all && answers[i].has_value();
            }
            return all;
        };
        awaitLocked(lock, deadline, allAnswered);
        if (cancelled_ && cancelled_())
            return SerialErrc::open_cancelled;
        for (qsizetype i = 0; i < asked.size(); ++i) {
            const Setting& s = asked.at(i);
            if (!answers[i]) {
                if (closed_) {
                    reason_ = QStringLiteral("it closed the connection while the line was set");
                    return SerialErrc::connection_closed;
                }
                reason_ = QStringLiteral("it did not answer the setting of %1 within %2 seconds")
                              .arg(s.name(s.value))
                              .arg(kNetworkAnswerMs / 1000);
                return SerialErrc::negotiation_timeout;
            }
            if (*answers[i] != s.value) {
                reason_ = QStringLiteral("asked for %1, it set %2")
                              .arg(s.name(s.value), s.name(*answers[i]));
                return SerialErrc::settings_refused;
            }
        }
        applied_ = wanted;
        return {};
    }

    NetSocket socket_;
    NetworkPort server_;
    std::function<bool()> cancelled_;
    QString reason_;
    LineSettings state_;

    std::mutex mutex_;  // what follows, and the connection's reads and writes
    TelnetComPort telnet_;
    QByteArray out_;       // on its way to the connection
    QByteArray received_;  // data read, not yet taken
    bool closed_ = false;  // the server has closed its side
    std::optional<QList<Setting>> applied_;
    std::optional<bool> dtr_, rts_;
};

}  // namespace

std::unique_ptr<SerialDevice> createNetworkDevice() {
    return std::make_unique<NetworkDevice>();
}

}  // namespace qev

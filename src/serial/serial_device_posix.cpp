// The POSIX device layer: non-blocking descriptors, termios, poll with wake-up events.

#include "ports/device_naming.h"
#include "serial/descriptor_wait.h"
#include "serial/serial_device.h"

#include <QFile>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace qev {

namespace {

// The outcomes the worker tells apart as QEV's own codes; the rest as the system's.
std::error_code failure(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return SerialErrc::device_missing;
        case EBUSY:
        case EWOULDBLOCK:
            return SerialErrc::device_busy;
        case EACCES:
        case EPERM:
        case EROFS:
            return SerialErrc::access_denied;
        case ENOMEM:
            return SerialErrc::out_of_memory;
        case EBADF:
            return SerialErrc::invalid_handle;
        case EIO:
            return SerialErrc::device_gone;
        default:
            return systemError(err);
    }
}

struct BaudCode {
    quint32 baud;
    speed_t code;
};

constexpr BaudCode kBauds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedCode(quint32 baud, speed_t& code) {
    for (const auto& b : kBauds) {
        if (b.baud == baud) {
            code = b.code;
            return true;
        }
    }
    return false;
}

quint32 speedBaud(speed_t code) {
    for (const auto& b : kBauds) {
        if (b.code == code)
            return b.baud;
    }
    return 0;
}

// The slaves of /dev/ptmx (Unix 98 pseudo-terminals, majors 136 to 143).
bool isPseudoTerminal(const struct stat& st) {
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

// Raw mode as the layer leaves it: what cfmakeraw clears, with nothing of it set.
bool isRaw(const termios& t) {
    return !(t.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL)) &&
           !(t.c_oflag & OPOST) && !(t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN)) &&
           t.c_cc[VMIN] == 0 && t.c_cc[VTIME] == 0 &&
           (t.c_cflag & (CLOCAL | CREAD | HUPCL)) == tcflag_t(CLOCAL | CREAD | HUPCL);
}

class PosixSerialDevice final : public SerialDevice {
public:
    ~PosixSerialDevice() override { close(); }

    std::error_code open(const QString& devicePath) override {
        if (fd_ >= 0)
            return SerialErrc::device_busy;
        // Only a terminal that can be a port is opened at all: opening a pipe can release a
        // program waiting at its other end, /dev/ptmx makes a new terminal, /dev/tty is the
        // user's own, and a file or folder is no port whatever the open says.
        const DeviceCheck check = examineDevice(devicePath);
        switch (check.verdict) {
            case DeviceCheck::Serial:
                break;
            case DeviceCheck::Missing:
                return SerialErrc::device_missing;
            case DeviceCheck::NotSerial:
                return SerialErrc::not_serial_device;
            case DeviceCheck::Unexaminable:
                return SerialErrc::unexaminable;
        }
        const QByteArray native = QFile::encodeName(devicePath);
        const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return failure(errno);
        // Checked again on what was opened: the name may lead elsewhere by now.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd)) {
            ::close(fd);
            return SerialErrc::not_serial_device;
        }
        // The kernel lets root open a line that another program holds exclusively; its mark
        // is read before ours is set, so that root is refused as anyone else.
        int held = 0;
        if (::ioctl(fd, TIOCGEXCL, &held) == 0 && held != 0) {
            ::close(fd);
            return SerialErrc::device_busy;
        }
        // flock is what holds against every other user, root included; TIOCEXCL adds the
        // kernel's own refusal of further opens by ordinary users.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return err == EWOULDBLOCK ? std::error_code(SerialErrc::device_busy) : failure(err);
        }
        ::ioctl(fd, TIOCEXCL);
        fd_ = fd;
        pseudoTerminal_ = isPseudoTerminal(st);
        return {};
    }

    bool isOpen() const override { return fd_ >= 0; }

    void close() override {
        if (fd_ < 0)
            return;
        // The exclusive mark outlives the descriptor while others hold the tty.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

    std::error_code setupQueues(int, int) override {
        // The driver's queues are its own on this platform.
        return fd_ >= 0 ? std::error_code() : SerialErrc::invalid_handle;
    }

    std::error_code getState(LineSettings& s) override {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return failure(errno);
        s.baud = speedBaud(cfgetospeed(&t));
        switch (t.c_cflag & CSIZE) {
            case CS5:
                s.byteSize = 5;
                break;
            case CS6:
                s.byteSize = 6;
                break;
            case CS7:
                s.byteSize = 7;
                break;
            default:
                s.byteSize = 8;
                break;
        }
        if (!(t.c_cflag & PARENB))
            s.parity = 0;
        else if (t.c_cflag & CMSPAR)
            s.parity = (t.c_cflag & PARODD) ? 3 : 4;
        else
            s.parity = (t.c_cflag & PARODD) ? 1 : 2;
        s.stopBits = (t.c_cflag & CSTOPB) ? (s.byteSize == 5 ? 1 : 2) : 0;
        s.binary = isRaw(t);
        s.parityCheck = (t.c_iflag & INPCK) != 0;
        s.outxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
        s.outxDsrFlow = false;
        s.dsrSensitivity = false;
        s.txContinueOnXoff = !(t.c_iflag & IXANY) ? true : false;
        s.outX = (t.c_iflag & IXON) != 0;
        s.inX = (t.c_iflag & IXOFF) != 0;
        s.nullStrip = false;
        s.xonChar = t.c_cc[VSTART];
        s.xoffChar = t.c_cc[VSTOP];
        // Not kept by the driver here: the last values written stand.
        s.dtrEnable = dtrEnable_;
        s.rtsEnable = rtsEnable_;
        s.xonLim = xonLim_;
        s.xoffLim = xoffLim_;
        return {};
    }

    std::error_code setState(const LineSettings& s) override {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return failure(errno);
        speed_t speed;
        if (!speedCode(s.baud, speed))
            return systemError(EINVAL);
        ::cfmakeraw(&t);
        t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        t.c_cflag |= CLOCAL | CREAD | HUPCL;
        switch (s.byteSize) {
            case 5:
                t.c_cflag |= CS5;
                break;
            case 6:
                t.c_cflag |= CS6;
                break;
            case 7:
                t.c_cflag |= CS7;
                break;
            default:
                t.c_cflag |= CS8;
                break;
        }
        if (s.parity != 0) {
            t.c_cflag |= PARENB;
            if (s.parity == 1 || s.parity == 3)
                t.c_cflag |= PARODD;
            if (s.parity >= 3)
                t.c_cflag |= CMSPAR;
        }
        if (s.stopBits != 0)
            t.c_cflag |= CSTOPB;
        if (s.parityCheck)
            t.c_iflag |= INPCK;
        if (s.outxCtsFlow)
            t.c_cflag |= CRTSCTS;
        t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
        if (s.outX)
            t.c_iflag |= IXON;
        if (s.inX)
            t.c_iflag |= IXOFF;
        t.c_cc[VSTART] = s.xonChar;
        t.c_cc[VSTOP] = s.xoffChar;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return failure(errno);
        dtrEnable_ = s.dtrEnable;
        rtsEnable_ = s.rtsEnable;
        xonLim_ = s.xonLim;
        xoffLim_ = s.xoffLim;
        return {};
    }

    void setControlLine(ControlLine line, bool on) override {
        // Pseudo terminals have no control lines (EINVAL, ENOTTY): nothing to drive there.
        int bits = line == ControlLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits);
    }

    quint32 modemStatus() override {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0)
            return 0;
        return quint32(bits);
    }

    std::error_code write(const char* data, qint64 length, qint64& written) override {
        written = 0;
        for (;;) {
            const ssize_t n = ::write(fd_, data, size_t(length));
            if (n >= 0) {
                written = n;
                return {};
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return {};
            return failure(errno);
        }
    }

    std::error_code read(char* data, qint64 length, qint64& got) override {
        got = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, data, size_t(length));
            if (n > 0) {
                got = n;
                return {};
            }
            // With VMIN and VTIME 0 an empty read is "nothing yet"; a hang-up shows in poll.
            if (n == 0)
                return {};
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return {};
            return failure(errno);
        }
    }

    WaitResult waitWritable(int timeoutMs, std::initializer_list<Event*> wake) override {
        return waitFor(POLLOUT, timeoutMs, wake);
    }

    WaitResult waitReadable(int timeoutMs, std::initializer_list<Event*> wake) override {
        return waitFor(POLLIN, timeoutMs, wake);
    }

    WaitResult waitLineEvent(int timeoutMs, std::initializer_list<Event*> wake) override {
        return waitFor(POLLPRI, timeoutMs, wake);
    }

    qint64 outputQueued() override {
        int n = 0;
        return ::ioctl(fd_, TIOCOUTQ, &n) == 0 ? n : 0;
    }

    bool deliveryKnown() const override { return !pseudoTerminal_; }

    // On a pseudo-terminal a flush of the output drops what its peer has not read yet: earlier
    // messages and this one, which the line had taken whole.
    void purgeOutput() override {
        if (!pseudoTerminal_)
            ::tcflush(fd_, TCOFLUSH);
    }
    void purgeInput() override { ::tcflush(fd_, TCIFLUSH); }

    quint32 takeErrors() override {
        serial_icounter_struct counts{};
        if (::ioctl(fd_, TIOCGICOUNT, &counts) != 0)
            return 0;
        quint32 bits = 0;
        if (counts.buf_overrun != last_.buf_overrun)
            bits |= 0x01;
        if (counts.overrun != last_.overrun)
            bits |= 0x02;
        if (counts.parity != last_.parity)
            bits |= 0x04;
        if (counts.frame != last_.frame)
            bits |= 0x08;
        if (counts.brk != last_.brk)
            bits |= 0x10;
        last_ = counts;
        return bits;
    }

private:
    WaitResult waitFor(short events, int timeoutMs, std::initializer_list<Event*> wake) {
        return waitOnDescriptor(fd_, events, timeoutMs, wake);
    }

    int fd_ = -1;
    bool pseudoTerminal_ = false;
    bool dtrEnable_ = true;
    bool rtsEnable_ = true;
    quint16 xonLim_ = 0;
    quint16 xoffLim_ = 0;
    serial_icounter_struct last_{};
};

}  // namespace

std::unique_ptr<SerialDevice> createSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

}  // namespace qev

// Sockets on POSIX: the name is found with getaddrinfo_a, so that a server that does not answer
// the lookup cannot hold a send past its time.

#include "serial/net_socket.h"

#include "serial/descriptor_wait.h"

#include <QFile>

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace qev {

namespace {

constexpr int kSliceMs = 20;

using Clock = std::chrono::steady_clock;

// One lookup: what getaddrinfo_a reads and writes while it runs.
struct Lookup {
    QByteArray host;
    QByteArray service;
    addrinfo hints{};
    gaicb request{};
    ~Lookup() {
        if (request.ar_result)
            freeaddrinfo(request.ar_result);
    }
};

// A lookup still running when its time was up cannot be freed until the resolver's thread is
// done with it; it is kept here, and freed by a later lookup that finds it done.
class AbandonedLookups {
public:
    void keep(std::unique_ptr<Lookup> lookup) {
        std::lock_guard lock(mutex_);
        std::erase_if(held_, [](const std::unique_ptr<Lookup>& l) {
            return gai_error(&l->request) != EAI_INPROGRESS;
        });
        held_.push_back(std::move(lookup));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Lookup>> held_;
};

AbandonedLookups& abandoned() {
    static AbandonedLookups lookups;
    return lookups;
}

// The addresses of host, or the failure; the lookup is left behind (not waited for) once the
// deadline passes or cancelled says so.
std::error_code lookUp(const QString& host, quint16 port, Clock::time_point deadline,
                       const std::function<bool()>& cancelled, std::unique_ptr<Lookup>& lookup,
                       QString& why) {
    lookup = std::make_unique<Lookup>();
    lookup->host = host.toUtf8();
    lookup->service = QByteArray::number(port);
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_ADDRCONFIG;
    lookup->request.ar_name = lookup->host.constData();
    lookup->request.ar_service = lookup->service.constData();
    lookup->request.ar_request = &lookup->hints;
    gaicb* list[] = {&lookup->request};
    if (const int rc = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr); rc != 0) {
        why = QString::fromLocal8Bit(gai_strerror(rc));
        return SerialErrc::host_not_found;
    }
    for (;;) {
        const int rc = gai_error(&lookup->request);
        if (rc != EAI_INPROGRESS) {
            if (rc == 0)
                return {};
            why = QString::fromLocal8Bit(gai_strerror(rc));
            return rc == EAI_AGAIN ? SerialErrc::lookup_failed : SerialErrc::host_not_found;
        }
        const bool stop = cancelled && cancelled();
        const int left = millisecondsLeft(deadline);
        if (stop || left == 0) {
            if (gai_cancel(&lookup->request) != EAI_CANCELED)
                abandoned().keep(std::move(lookup));
            if (stop)
                return SerialErrc::open_cancelled;
            why = QStringLiteral("the name was not found in time");
            return SerialErrc::lookup_failed;
        }
        const timespec slice{0, long(std::min(left, kSliceMs)) * 1'000'000L};
        const gaicb* waiting[] = {&lookup->request};
        gai_suspend(waiting, 1, &slice);
    }
}

}  // namespace

struct NetSocket::Handle {
    int fd = -1;
};

NetSocket::NetSocket() : handle_(std::make_unique<Handle>()) {}

NetSocket::~NetSocket() {
    close();
}

bool NetSocket::isOpen() const {
    return handle_->fd >= 0;
}

void NetSocket::close() {
    if (handle_->fd >= 0)
        ::close(std::exchange(handle_->fd, -1));
}

std::error_code NetSocket::connect(const QString& host, quint16 port, int timeoutMs,
                                   const std::function<bool()>& cancelled, QString& why) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_ptr<Lookup> lookup;
    if (const std::error_code err = lookUp(host, port, deadline, cancelled, lookup, why))
        return err;
    std::error_code result = SerialErrc::connection_refused;
    for (const addrinfo* a = lookup->request.ar_result; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = QString::fromLocal8Bit(std::strerror(errno));
            result = systemError(errno);
            continue;
        }
        int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        while (error == EINPROGRESS || error == EINTR) {
            if (cancelled && cancelled()) {
                ::close(fd);
                return SerialErrc::open_cancelled;
            }
            const int left = millisecondsLeft(deadline);
            if (left == 0) {
                error = ETIMEDOUT;
                break;
            }
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, std::min(left, kSliceMs)) > 0) {
                socklen_t size = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
            }
        }
        if (error == 0) {
            const int on = 1;
            // Each message goes as one segment, at once: the sync's timing depends on it.
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            handle_->fd = fd;
            return {};
        }
        ::close(fd);
        why = QString::fromLocal8Bit(std::strerror(error));
        if (error == ETIMEDOUT)
            return SerialErrc::connect_timeout;  // the time is spent: no other address is tried
        result = error == ECONNREFUSED ? std::error_code(SerialErrc::connection_refused)
                                       : systemError(error);
    }
    return result;
}

std::error_code NetSocket::send(const char* data, qint64 length, qint64& sent) {
    sent = 0;
    for (;;) {
        const ssize_t n = ::send(handle_->fd, data, size_t(length), MSG_NOSIGNAL);
        if (n >= 0) {
            sent = n;
            return {};
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {};
        if (errno == EPIPE || errno == ECONNRESET)
            return SerialErrc::connection_closed;
        return systemError(errno);
    }
}

std::error_code NetSocket::receive(char* data, qint64 length, qint64& got, bool& closed) {
    got = 0;
    closed = false;
    for (;;) {
        const ssize_t n = ::recv(handle_->fd, data, size_t(length), 0);
        if (n > 0) {
            got = n;
            return {};
        }
        if (n == 0) {
            closed = true;
            return {};
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {};
        if (errno == ECONNRESET) {
            closed = true;
            return {};
        }
        return systemError(errno);
    }
}

WaitResult NetSocket::wait(bool forWriting, int timeoutMs, std::initializer_list<Event*> wake) {
    return waitOnDescriptor(handle_->fd, forWriting ? POLLOUT : POLLIN, timeoutMs, wake);
}

qint64 NetSocket::unacknowledged() {
    int n = 0;
    return handle_->fd >= 0 && ::ioctl(handle_->fd, SIOCOUTQ, &n) == 0 ? n : 0;
}

}  // namespace qev

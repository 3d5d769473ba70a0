// Sockets on Windows (Winsock). Qt's network module is not part of the static Qt QEV links, so
// the connection is made here, with the same bounds as on POSIX. The name lookup is the
// system's getaddrinfo, which its own resolver bounds.

// Winsock's headers come before windows.h, which would otherwise bring in the old ones.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include "serial/net_socket.h"

#include <chrono>
#include <mutex>

namespace qev {

namespace {

constexpr int kSliceMs = 20;
// A wait on the connection looks at it this often while it also waits for the events.
constexpr int kPollMs = 2;

using Clock = std::chrono::steady_clock;

bool winsockReady() {
    static const bool ready = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

QString winsockText(int error) {
    return qt_error_string(error);
}

// Whether the socket is readable (writable), or has failed, now.
int readyNow(SOCKET s, bool forWriting) {
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    timeval none{0, 0};
    const int n =
        ::select(0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, &failed, &none);
    if (n <= 0)
        return 0;
    return FD_ISSET(s, &failed) ? -1 : 1;
}

}  // namespace

struct NetSocket::Handle {
    SOCKET s = INVALID_SOCKET;
};

NetSocket::NetSocket() : handle_(std::make_unique<Handle>()) {}

NetSocket::~NetSocket() {
    close();
}

bool NetSocket::isOpen() const {
    return handle_->s != INVALID_SOCKET;
}

void NetSocket::close() {
    if (handle_->s != INVALID_SOCKET)
        ::closesocket(std::exchange(handle_->s, INVALID_SOCKET));
}

std::error_code NetSocket::connect(const QString& host, quint16 port, int timeoutMs,
                                   const std::function<bool()>& cancelled, QString& why) {
    if (!winsockReady()) {
        why = winsockText(::WSAGetLastError());
        return systemError(::WSAGetLastError());
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfoW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfoW* list = nullptr;
    const QString service = QString::number(port);
    if (const int rc =
            ::GetAddrInfoW(reinterpret_cast<const wchar_t*>(host.utf16()),
                           reinterpret_cast<const wchar_t*>(service.utf16()), &hints, &list);
        rc != 0) {
        why = winsockText(rc);
        return rc == WSATRY_AGAIN ? SerialErrc::lookup_failed : SerialErrc::host_not_found;
    }
    std::unique_ptr<addrinfoW, void (*)(addrinfoW*)> addresses(list, ::FreeAddrInfoW);
    if (cancelled && cancelled())
        return SerialErrc::open_cancelled;
    std::error_code result = SerialErrc::connection_refused;
    for (const addrinfoW* a = list; a; a = a->ai_next) {
        const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            why = winsockText(::WSAGetLastError());
            result = systemError(::WSAGetLastError());
            continue;
        }
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        int error = ::connect(s, a->ai_addr, int(a->ai_addrlen)) == 0 ? 0 : ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            error = WSAETIMEDOUT;
            for (;;) {
                if (cancelled && cancelled()) {
                    ::closesocket(s);
                    return SerialErrc::open_cancelled;
                }
                const int left = millisecondsLeft(deadline);
                if (left == 0)
                    break;
                fd_set writable, failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(s, &writable);
                FD_SET(s, &failed);
                timeval slice{0, std::min(left, kSliceMs) * 1000};
                if (::select(0, nullptr, &writable, &failed, &slice) > 0) {
                    error = 0;
                    if (FD_ISSET(s, &failed)) {
                        int size = sizeof error;
                        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                                     &size);
                        if (error == 0)
                            error = WSAECONNREFUSED;
                    }
                    break;
                }
            }
        }
        if (error == 0) {
            const BOOL on = TRUE;
            // Each message goes as one segment, at once: the sync's timing depends on it.
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on);
            handle_->s = s;
            return {};
        }
        ::closesocket(s);
        why = winsockText(error);
        if (error == WSAETIMEDOUT)
            return SerialErrc::connect_timeout;
        result = error == WSAECONNREFUSED ? std::error_code(SerialErrc::connection_refused)
                                          : systemError(error);
    }
    return result;
}

std::error_code NetSocket::send(const char* data, qint64 length, qint64& sent) {
    sent = 0;
    const int n = ::send(handle_->s, data, int(std::min<qint64>(length, 1 << 20)), 0);
    if (n >= 0) {
        sent = n;
        return {};
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK)
        return {};
    if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN)
        return SerialErrc::connection_closed;
    return systemError(error);
}

std::error_code NetSocket::receive(char* data, qint64 length, qint64& got, bool& closed) {
    got = 0;
    closed = false;
    const int n = ::recv(handle_->s, data, int(std::min<qint64>(length, 1 << 20)), 0);
    if (n > 0) {
        got = n;
        return {};
    }
    if (n == 0) {
        closed = true;
        return {};
    }
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK)
        return {};
    if (error == WSAECONNRESET || error == WSAECONNABORTED) {
        closed = true;
        return {};
    }
    return systemError(error);
}

WaitResult NetSocket::wait(bool forWriting, int timeoutMs, std::initializer_list<Event*> wake) {
    // A socket and events cannot be waited for together without taking the socket's events
    // from the other threads that wait on it: the events are waited for in short slices, and
    // the socket looked at between them.
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        const int ready = readyNow(handle_->s, forWriting);
        if (ready != 0)
            return {ready > 0 ? WaitResult::Ready : WaitResult::HangUp, -1};
        const int left = millisecondsLeft(deadline);
        if (left == 0)
            return {};
        const int slice = std::min(left, kPollMs);
        if (wake.size() == 0) {
            ::Sleep(DWORD(slice));
            continue;
        }
        const int fired = Event::waitAny(wake, slice);
        if (fired >= 0)
            return {WaitResult::Woken, fired};
    }
}

qint64 NetSocket::unacknowledged() {
    return 0;  // Windows tells no count of unacknowledged bytes to every version it runs on
}

}  // namespace qev

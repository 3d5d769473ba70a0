#include "pty_pair.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qev::test {

PtyPair::PtyPair() {
    // Collectors read the master without blocking.
    ::fcntl(master(), F_SETFL, ::fcntl(master(), F_GETFL) | O_NONBLOCK);
}

void PtyPair::stall() {
    ::tcflow(slave(), TCOOFF);
}
void PtyPair::resume() {
    ::tcflow(slave(), TCOON);
}

void PtyPair::fill() {
    // In raw mode, as the port is used: the line takes a different amount with output
    // processing on.
    termios t{};
    ::tcgetattr(slave(), &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave(), TCSANOW, &t);
    const int flags = ::fcntl(slave(), F_GETFL);
    ::fcntl(slave(), F_SETFL, flags | O_NONBLOCK);
    // The kernel moves queued bytes on to the master's side in the background, which makes
    // room again: fill until a pause makes none.
    const std::vector<char> block(4096, 'x');
    for (bool tookMore = true; tookMore;) {
        tookMore = false;
        while (::write(slave(), block.data(), block.size()) > 0)
            tookMore = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::fcntl(slave(), F_SETFL, flags);
}

MasterCollector::MasterCollector(int masterFd)
    : fd_(masterFd), stopFd_(::eventfd(0, EFD_CLOEXEC)), thread_([this] { run(); }) {}

MasterCollector::~MasterCollector() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(stopFd_);
}

void MasterCollector::run() {
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLNVAL)
            return;
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            // The slave side hung up (all closed) or the master went away: stop reading.
            if (n < 0 && errno == EAGAIN)
                continue;
            pollfd stop{stopFd_, POLLIN, 0};
            ::poll(&stop, 1, -1);
            return;
        }
        const auto now = Clock::now();
        std::lock_guard guard(lock_);
        bytes_.append(buffer, n);
        arrivals_.insert(arrivals_.end(), size_t(n), now);
        arrived_.notify_all();
    }
}

QByteArray MasterCollector::bytes() const {
    std::lock_guard guard(lock_);
    return bytes_;
}

std::vector<MasterCollector::Clock::time_point> MasterCollector::arrivals() const {
    std::lock_guard guard(lock_);
    return arrivals_;
}

bool MasterCollector::waitFor(qsizetype n, std::chrono::milliseconds timeout) const {
    std::unique_lock guard(lock_);
    return arrived_.wait_for(guard, timeout, [&] { return bytes_.size() >= n; });
}

void MasterCollector::clear() {
    std::lock_guard guard(lock_);
    bytes_.clear();
    arrivals_.clear();
}

}  // namespace qev::test

#include "serial/descriptor_wait.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace qev {

WaitResult waitOnDescriptor(int fd, short events, int timeoutMs,
                            std::initializer_list<Event*> wake) {
    std::vector<pollfd> fds;
    fds.reserve(wake.size() + 1);
    fds.push_back({fd, events, 0});
    for (Event* e : wake)
        fds.push_back({e->handle(), POLLIN, 0});
    int n;
    do {
        n = ::poll(fds.data(), fds.size(), timeoutMs);
    } while (n < 0 && errno == EINTR);
    WaitResult result;
    if (n <= 0)
        return result;
    int i = 0;
    for (Event* e : wake) {
        if ((fds[i + 1].revents & POLLIN) && e->claim())
            return {WaitResult::Woken, i};
        ++i;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
        result.kind = WaitResult::HangUp;
    else if (fds[0].revents & events)
        result.kind = WaitResult::Ready;
    return result;
}

}  // namespace qev

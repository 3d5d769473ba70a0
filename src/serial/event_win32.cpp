// Events on Windows are the system's own event objects, which device waits can watch
// beside an overlapped operation's event.

#include "serial/event.h"
#include "serial/serial_error_code.h"

#include <windows.h>

#include <system_error>
#include <vector>

namespace qev {

namespace {

HANDLE native(void* h) {
    return static_cast<HANDLE>(h);
}

}  // namespace

Event::Event(Reset reset)
    : fd_(::CreateEventW(nullptr, reset == Manual ? TRUE : FALSE, FALSE, nullptr)), reset_(reset) {
    if (fd_ == nullptr)
        throw std::system_error(systemError(int(::GetLastError())), "CreateEvent");
}

Event::~Event() {
    ::CloseHandle(native(fd_));
}

void Event::set() {
    ::SetEvent(native(fd_));
}

void Event::reset() {
    ::ResetEvent(native(fd_));
}

bool Event::isSet() const {
    if (::WaitForSingleObject(native(fd_), 0) != WAIT_OBJECT_0)
        return false;
    // Looking consumed an auto-reset event: put it back.
    if (reset_ == Auto)
        ::SetEvent(native(fd_));
    return true;
}

bool Event::claim() {
    return ::WaitForSingleObject(native(fd_), 0) == WAIT_OBJECT_0;
}

bool Event::wait(int timeoutMs) {
    return waitAny({this}, timeoutMs) == 0;
}

int Event::waitAny(std::initializer_list<Event*> events, int timeoutMs) {
    std::vector<HANDLE> handles;
    handles.reserve(events.size());
    for (Event* e : events)
        handles.push_back(native(e->fd_));
    // The system wakes for the lowest signalled index and consumes only that auto-reset event.
    const DWORD r = ::WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE,
                                             timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + handles.size())
        return int(r - WAIT_OBJECT_0);
    return -1;
}

bool Event::sleepsPrecisely() {
    return false;  // the timer's tick is 15.6 ms
}

qint64 Event::spinBeforeNs() {
    return 20'000'000;  // the system's timer ticks every 15.6 ms
}

}  // namespace qev

#pragma once
// A waitable flag that a descriptor wait (poll) can watch, so that device waits can be cut
// short by another thread. Auto-reset events are consumed by the wait that returns them.

#include <initializer_list>

namespace qev {

class Event {
public:
    enum Reset { Auto, Manual };

    explicit Event(Reset reset = Auto);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Waits up to timeoutMs (negative: without limit); true when the event was set.
    bool wait(int timeoutMs);

    // Index of the first event that fired (auto-reset ones are consumed), or -1 on time-out.
    static int waitAny(std::initializer_list<Event*> events, int timeoutMs);

    // For the platform layer's device waits: a descriptor (POSIX) or an event HANDLE (Windows).
#ifdef _WIN32
    using Native = void*;
#else
    using Native = int;
#endif
    Native handle() const { return fd_; }
    bool manual() const { return reset_ == Manual; }
    // Called after a descriptor wait saw handle() readable: true when this wait owns the
    // event (an auto-reset one may have been taken by another waiter in between).
    bool claim();

private:
    Native fd_;
    Reset reset_;
};

}  // namespace qev

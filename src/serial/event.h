#pragma once
// A waitable flag that a descriptor wait (poll) can watch, so that device waits can be cut
// short by another thread. Auto-reset events are consumed by the wait that returns them.

#include <QtGlobal>

#include <initializer_list>

namespace qev {

// What a device wait of the platform layer watches: a descriptor, or on Windows an event HANDLE.
#ifdef _WIN32
using NativeEvent = void*;
#else
using NativeEvent = int;
#endif

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

    // How long before an instant a timed wait stops sleeping and spins, in nanoseconds: what a
    // sleep on this platform may overrun by, so that the waiting thread is running at the
    // instant rather than being woken for it.
    static qint64 spinBeforeNs();
    // Whether a sleep of under a millisecond ends within tens of microseconds of its time (so
    // a timed wait may sleep to its instant where no processor is free to spin on).
    static bool sleepsPrecisely();

    // For device waits of the platform layer.
    NativeEvent handle() const { return fd_; }
    // Called after a descriptor wait saw handle() readable: true when this wait owns the
    // event (an auto-reset one may have been taken by another waiter in between).
    bool claim();

private:
    NativeEvent fd_;
    Reset reset_;
};

}  // namespace qev

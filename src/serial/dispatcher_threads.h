#pragma once
// The worker's four threads. Each announces itself on start, runs until the worker's
// KillThreads, and reports a negative result through the worker when it ends.

#include <QByteArray>

#include <thread>

namespace qev {

class TBaseDispatcher;

class TDispatcherThread {
public:
    explicit TDispatcherThread(TBaseDispatcher& owner) : owner_(owner) {}
    virtual ~TDispatcherThread();  // joins
    TDispatcherThread(const TDispatcherThread&) = delete;
    TDispatcherThread& operator=(const TDispatcherThread&) = delete;

    void start();
    void join();
    virtual const char* name() const = 0;

protected:
    // The thread's work; returns 0 or a negative code.
    virtual int Execute() = 0;
    TBaseDispatcher& owner_;

private:
    void run();
    std::thread thread_;
};

// The threads that talk to the device.
class TSerialThread : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;
};

class TReadThread final : public TSerialThread {
public:
    using TSerialThread::TSerialThread;
    const char* name() const override { return "TReadThread"; }

protected:
    int Execute() override;
};

class TWriteThread final : public TSerialThread {
public:
    using TSerialThread::TSerialThread;
    const char* name() const override { return "TWriteThread"; }

protected:
    int Execute() override;

private:
    enum class Outcome { Done, Flushed, Stop, Failed };
    Outcome writeBlock(const QByteArray& block);
};

class TStatusThread final : public TSerialThread {
public:
    using TSerialThread::TSerialThread;
    const char* name() const override { return "TStatusThread"; }

protected:
    int Execute() override;
};

class TDispThread final : public TDispatcherThread {
public:
    using TDispatcherThread::TDispatcherThread;
    const char* name() const override { return "TDispThread"; }

protected:
    int Execute() override;
};

}  // namespace qev

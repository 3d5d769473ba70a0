// Times the send cycle on a pseudo terminal: 50 cycles of the 82-byte zone message, then the
// median of each figure, one per line: open_close_ms, first_byte_ms, last_byte_ms,
// cycle_overhead_ms (the whole cycle less its mandated 500 ms wait).
//   bench_serial [cycles]

#include "pty_pair.h"
#include "scoped_config.h"

#include "serial/com_port.h"
#include "serial/transmission.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    qev::test::ScopedConfig links;
    qev::test::PtyPair pty;
    links.link(1, pty.slavePath());
    qev::test::MasterCollector collector(pty.master());

    QByteArray message(1, char(0xEE));
    for (int k = 0; k < 16; ++k)
        message.append(QByteArray::fromHex("2b00000000"));
    message.append(char(0xFA));

    qev::TComPort port;
    port.setBaud(4800);
    port.setAutoOpen(false);
    std::vector<double> openClose, firstByte, lastByte, overhead;
    for (int i = 0; i < cycles; ++i) {
        collector.clear();
        // The steps of the send cycle, timed one by one.
        const auto start = Clock::now();
        port.setComNumber(1);
        port.setOpen(true);
        const auto opened = Clock::now();
        port.PutString(message);
        const auto queued = Clock::now();
        while (port.OutBuffUsed() != 0) {
        }
        qev::WaitMilliseconds(500);
        const auto waited = Clock::now();
        port.setOpen(false);
        const auto closed = Clock::now();

        if (!collector.waitFor(message.size(), 1s) || collector.bytes() != message) {
            std::fprintf(stderr, "cycle %d: the message did not arrive intact\n", i);
            return 1;
        }
        const auto arrivals = collector.arrivals();
        openClose.push_back(ms(opened - start) + ms(closed - waited));
        firstByte.push_back(ms(arrivals.front() - queued));
        lastByte.push_back(ms(arrivals.back() - queued));
        overhead.push_back(ms(closed - start) - 500.0);
    }
    std::printf("open_close_ms %.3f\n", median(openClose));
    std::printf("first_byte_ms %.3f\n", median(firstByte));
    std::printf("last_byte_ms %.3f\n", median(lastByte));
    std::printf("cycle_overhead_ms %.3f\n", median(overhead));
    return 0;
}

// Times what "qev ports" does, on a device tree of its own with fifty USB adapters plugged in
// (pseudo terminals stand in for them): the first listing, which gives all fifty their numbers,
// and the listings after it, which find every adapter linked. Then the same on this computer's
// own /dev and /sys.
//
//   bench_ports [--runs N]

#include "fake_devices.h"

#include "ports/device_naming.h"
#include "ports/port_assignment.h"
#include "ports/port_description.h"
#include "ports/real_path.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// One listing as "qev ports" makes it: numbers for new adapters, then every port's presence as
// a send finds it, the reason for one left out, its device and its description.
// listed: how many ports were found present.
double listOnce(const qev::PortRoots& roots, int& listed) {
    QElapsedTimer timer;
    timer.start();
    qev::assignPortNumbers(roots);
    QList<quint16> numbers;
    for (quint16 n = 1; n <= qev::kMaxPortNumber; ++n)
        numbers << n;
    const QList<qev::PortInfo> ports = qev::describePorts(numbers, roots);
    listed = 0;
    for (const quint16 n : numbers) {
        if (!ports.at(n - 1).present) {
            qev::portAbsenceReason(n);
            continue;
        }
        qev::realPath(qev::resolveDeviceName(qev::comDeviceName(n)));
        ++listed;
    }
    if (ports.size() != qev::kMaxPortNumber)
        std::fprintf(stderr, "bench_ports: %lld ports described\n", qlonglong(ports.size()));
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s_p50_ms %.2f\n%s_max_ms %.2f\n", what, ms[ms.size() / 2], what, ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 20;
    const QStringList args = app.arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--runs")); i > 0 && i + 1 < args.size())
        runs = std::max(1, args.at(i + 1).toInt());

    std::vector<double> first;
    std::vector<double> steady;
    for (int run = 0; run < runs; ++run) {
        qev::test::FakeDevices devices;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(devices.root() + QStringLiteral("/config")));
        for (int k = 0; k < qev::kMaxPortNumber; ++k)
            devices.plug(QStringLiteral("usb-FTDI_FT232R_USB_UART_A%1-if00-port0").arg(k));
        int listed = 0;
        first.push_back(listOnce(devices.roots(), listed));
        steady.push_back(listOnce(devices.roots(), listed));
        if (devices.links().size() != qev::kMaxPortNumber || listed != qev::kMaxPortNumber) {
            std::fprintf(stderr, "bench_ports: %lld adapters linked and %d listed, not 50\n",
                         qlonglong(devices.links().size()), listed);
            return 1;
        }
    }
    report("fifty_new_adapters", first);
    report("fifty_linked_adapters", steady);

    // This computer's ports, its own links folder left alone: an empty one of the bench's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const qev::PortRoots here;
    std::vector<double> local;
    for (int run = 0; run < runs; ++run) {
        int listed = 0;
        local.push_back(listOnce(here, listed));
    }
    report("this_computer", local);
    return 0;
}

#include "serial_servers.h"

#include "serial/telnet_com_port.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace qev::test {

namespace {

sockaddr_in loopback(quint16 port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool takesConnections(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

int listenOn(quint16& port, int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t size = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd, backlog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size))
        std::abort();
    port = ntohs(a.sin_port);
    return fd;
}

// What a scripted server answers to what it read.
QByteArray answerTo(FaultyServer::Kind kind, const QByteArray& got) {
    using namespace telnet;
    QByteArray reply;
    for (qsizetype i = 0; i + 2 < got.size(); ++i) {
        if (quint8(got[i]) != kIac)
            continue;
        const quint8 verb = quint8(got[i + 1]), option = quint8(got[i + 2]);
        if (verb == kWill && option == kComPort)
            reply += QByteArray("\xff") + char(kind == FaultyServer::RefuseRfc2217 ? kDont : kDo) +
                     char(kComPort);
        if (verb == kSb && option == kComPort && i + 3 < got.size()) {
            const quint8 command = quint8(got[i + 3]);
            const qsizetype end = got.indexOf("\xff\xf0", i + 4);
            QByteArray value = got.mid(i + 4, end - i - 4);
            if (command == kSetBaudRate)
                value = TelnetComPort::baudValue(9600);
            reply += TelnetComPort::command(quint8(command + kServerOffset), value);
        }
    }
    return reply;
}

}  // namespace

quint16 freeTcpPort() {
    quint16 port = 0;
    ::close(listenOn(port, 1));
    return port;
}

Ser2Net::Ser2Net() : rfc2217Port_(freeTcpPort()), tcpPort_(freeTcpPort()) {
    const QString config = QStringLiteral(
                               "connection: &rfc2217\n"
                               "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                               "  connector: serialdev,%3,9600n81,local\n"
                               "connection: &raw\n"
                               "  accepter: tcp,127.0.0.1,%2\n"
                               "  connector: serialdev,%3,4800n81,local\n")
                               .arg(rfc2217Port_)
                               .arg(tcpPort_)
                               .arg(line_.slavePath());
    // Its pid file is removed when it ends: one of its own, never a shared path.
    const QByteArray pidFile = QFile::encodeName(pidDir_.filePath(QStringLiteral("ser2net.pid")));
    pid_ = ::fork();
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);  // it warns of mDNS it cannot start
        const QByteArray yaml = config.toUtf8();
        ::execlp("ser2net", "ser2net", "-n", "-u", "-P", pidFile.constData(), "-Y", yaml.constData(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 250; ++i) {
        if (takesConnections(rfc2217Port_) && takesConnections(tcpPort_))
            return;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // not installed, or it refused the configuration
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Ser2Net::~Ser2Net() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

QString Ser2Net::rfc2217Url() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217Port_);
}

QString Ser2Net::tcpUrl() const {
    return QStringLiteral("tcp://127.0.0.1:%1").arg(tcpPort_);
}

termios Ser2Net::lineSettings() const {
    termios t{};
    ::tcgetattr(line_.slave(), &t);
    return t;
}

FaultyServer::FaultyServer(Kind kind) : kind_(kind) {
    listener_ = listenOn(port_, kind == NeverAccepts ? 0 : 4);
    if (::pipe2(stop_, O_CLOEXEC) != 0)
        std::abort();
    if (kind == NeverAccepts) {
        // Connections of its own fill the queue, so that the system answers no more.
        for (int& filler : fillers_) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const sockaddr_in a = loopback(port_);
            ::connect(filler, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        }
        return;
    }
    thread_ = std::thread([this] { serve(); });
}

FaultyServer::~FaultyServer() {
    if (::write(stop_[1], "x", 1) < 0)
        std::perror("FaultyServer");
    if (thread_.joinable())
        thread_.join();
    for (const int fd :
         {listener_, stop_[0], stop_[1], fillers_[0], fillers_[1], fillers_[2], fillers_[3]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString FaultyServer::url(const char* scheme) const {
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1StringView(scheme)).arg(port_);
}

void FaultyServer::serve() {
    std::vector<int> clients;
    for (;;) {
        std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const int c : clients)
            fds.push_back({c, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0 || fds[0].revents)
            break;
        if (fds[1].revents)
            clients.push_back(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            char buffer[512];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0 || kind_ == CloseOnData) {
                ::close(fds[i].fd);
                std::erase(clients, fds[i].fd);
                continue;
            }
            if (kind_ == Silent)
                continue;
            const QByteArray reply = answerTo(kind_, QByteArray(buffer, int(n)));
            if (!reply.isEmpty() && ::write(fds[i].fd, reply.constData(), reply.size()) < 0)
                std::perror("FaultyServer");
        }
    }
    for (const int c : clients)
        ::close(c);
}

}  // namespace qev::test

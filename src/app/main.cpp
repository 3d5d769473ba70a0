#include "app/application.h"

#include "protocol/messages.h"
#include "protocol/zone_line.h"

#include <cstdio>

int main(int argc, char** argv) {
    qev::Application app(argc, argv);
    const QByteArray message = qev::buildZoneConfigMessage(qev::defaultZoneLines());
    std::puts(message.toHex(' ').toUpper().constData());
    return 0;
}

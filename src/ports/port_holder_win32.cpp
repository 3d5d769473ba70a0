// Windows does not tell who holds a port: the message stays as it is.

#include "ports/port_holder.h"

namespace qev {

QList<PortHolder> portHolders(const QString&, const QString&) {
    return {};
}

QString portHolderText(const QString&, const QString&, const QString&) {
    return {};
}

}  // namespace qev

#include "ports/port_description.h"

namespace qev {

namespace {

constexpr qsizetype kLongestText = 80;

// Characters that would move the cursor, end a line or turn the text round on a terminal or
// in a window.
bool unprintable(QChar c) {
    switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            return false;
    }
}

}  // namespace

PortInfo describePort(quint16 n, const PortRoots& roots) {
    return describePorts({n}, roots).value(0);
}

QString portTipText(const PortInfo& info) {
    if (!info.present)
        return info.description.isEmpty() ? QStringLiteral("no device") : info.description;
    if (info.device.isEmpty() || info.description.contains(info.device))
        return info.description;
    return info.description + QLatin1Char('\n') + info.device;
}

QString adapterDescription(const UsbAdapterInfo& info) {
    QString text = info.manufacturer;
    if (!info.product.isEmpty()) {
        if (text.isEmpty() || info.product.startsWith(text, Qt::CaseInsensitive))
            text = info.product;
        else
            text += QLatin1Char(' ') + info.product;
    }
    if (text.isEmpty())
        text = QStringLiteral("USB serial adapter %1:%2").arg(info.vendorId, info.productId);
    if (!info.serial.isEmpty())
        text += QStringLiteral(" (%1)").arg(info.serial);
    return text;
}

QString printableText(const QString& text) {
    QString shown = text;
    for (QChar& c : shown) {
        if (unprintable(c))
            c = QLatin1Char(' ');
    }
    shown = shown.simplified();
    if (shown.size() > kLongestText) {
        qsizetype end = kLongestText;
        if (shown.at(end - 1).isHighSurrogate())
            --end;
        shown = shown.left(end);
    }
    return shown;
}

}  // namespace qev

#include "app/port_tips.h"

#include "widgets/radio_group.h"
#include "serial/port_description.h"

#include <QEvent>
#include <QRadioButton>
#include <QTextDocument>

namespace qev {

PortTips::PortTips(RadioGroup* group) : QObject(group), group_(group) {
    for (int i = 0; i < group_->count(); ++i)
        group_->button(i)->installEventFilter(this);
    refresh();
}

void PortTips::refresh() {
    assignPortNumbers();
    QList<quint16> numbers;
    for (int i = 0; i < group_->count(); ++i)
        numbers << quint16(i + 1);
    const QList<PortInfo> ports = describePorts(numbers);
    for (int i = 0; i < ports.size(); ++i) {
        const QString text = portTipText(ports.at(i));
        group_->button(i)->setToolTip(plainToolTip(text));
        group_->button(i)->setAccessibleDescription(text);
    }
}

bool PortTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip || event->type() == QEvent::FocusIn)
        refresh();
    return QObject::eventFilter(watched, event);
}

QString plainToolTip(const QString& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text) : text;
}

}  // namespace qev

#include "app/port_tips.h"

#include "ports/device_naming.h"
#include "ports/port_description.h"
#include "widgets/plain_tool_tip.h"
#include "widgets/radio_group.h"

#include <QCursor>
#include <QEvent>
#include <QRadioButton>
#include <QToolTip>

namespace qev {

namespace {

// What the ports are, as a look finds them: absent ones say why, where there is a reason.
QList<PortInfo> lookAtPorts(int count) {
    QList<quint16> numbers;
    for (int i = 0; i < count; ++i)
        numbers << quint16(i + 1);
    QList<PortInfo> ports = describePorts(numbers);
    for (PortInfo& port : ports) {
        if (port.present)
            continue;
        if (const QString why = portAbsenceReason(port.number); !why.isEmpty())
            port.description = QStringLiteral("no device: ") + why;
    }
    return ports;
}

}  // namespace

PortTips::PortTips(RadioGroup* group) : QObject(group), group_(group) {
    for (int i = 0; i < group_->count(); ++i) {
        group_->button(i)->installEventFilter(this);
        group_->button(i)->setToolTip(lookingText());
    }
    refresh();
}

PortTips::~PortTips() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

QString PortTips::lookingText() {
    return QStringLiteral("Looking for what this port is...");
}

void PortTips::refresh() {
    if (running_) {
        again_ = true;  // what changed meanwhile is seen by a look after this one
        return;
    }
    start();
}

void PortTips::start() {
    if (worker_.joinable())
        worker_.join();  // it has posted its result already, and ends
    running_ = true;
    again_ = false;
    const int count = group_->count();
    worker_ = std::thread([this, count] {
        const PortAssignment assignment = assignPortNumbers({}, kPortLockWaitMs, &stop_);
        if (stop_)
            return;
        const QList<PortInfo> ports = lookAtPorts(count);
        // Dropped by Qt when the tips are gone before it is delivered.
        QMetaObject::invokeMethod(
            this, [this, ports, problem = assignment.problem] { show(ports, problem); },
            Qt::QueuedConnection);
    });
}

void PortTips::numberNow() {
    const PortAssignment assignment = assignPortNumbers({}, 0);
    if (!assignment.busy)
        tell(assignment.problem);
    refresh();
}

void PortTips::show(const QList<PortInfo>& ports, const QString& problem) {
    running_ = false;
    for (int i = 0; i < ports.size() && i < group_->count(); ++i) {
        QRadioButton* button = group_->button(i);
        const QString text = portTipText(ports.at(i));
        button->setToolTip(plainToolTip(text));
        button->setAccessibleDescription(text);
        // A tip showing now shows what was found.
        if (QToolTip::isVisible() && button->underMouse())
            QToolTip::showText(QCursor::pos(), button->toolTip(), button);
    }
    tell(problem);
    if (again_)
        start();
}

void PortTips::tell(const QString& problem) {
    if (problem == lastProblem_)
        return;
    lastProblem_ = problem;
    if (!problem.isEmpty())
        emit this->problem(problem);
}

bool PortTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip || event->type() == QEvent::FocusIn)
        refresh();
    return QObject::eventFilter(watched, event);
}

}  // namespace qev

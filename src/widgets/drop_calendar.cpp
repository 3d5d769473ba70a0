#include "widgets/drop_calendar.h"

#include "base/error_sink.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTextCharFormat>
#include <QVBoxLayout>
#include <QWindow>

namespace qev {
namespace {

// The press that closed the calendar, given to what lies under it once the calendar has gone, as
// if the calendar had not been there: through its window, which gives the focus as for any click.
// A quick click may have been released already; the replay then completes it, unless the focus
// change raised an error (the field being left refused), which cuts the click short.
void replayPress(const QPoint& global, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    const QWidget* target = QApplication::widgetAt(global);
    const QPointer<QWindow> window = target ? target->window()->windowHandle() : nullptr;
    if (!window)
        return;
    const bool released = !(QGuiApplication::mouseButtons() & button);
    const unsigned errorsBefore = reportedErrorCount();
    const QPointF local = window->mapFromGlobal(global);
    QMouseEvent press(QEvent::MouseButtonPress, local, local, global, button, button, modifiers);
    QCoreApplication::sendEvent(window, &press);
    if (released && window && reportedErrorCount() == errorsBefore) {
        QMouseEvent release(QEvent::MouseButtonRelease, local, local, global, button, Qt::NoButton,
                            modifiers);
        QCoreApplication::sendEvent(window, &release);
    }
}

}  // namespace

TDropCalendar::TDropCalendar(QWidget* owner)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint), calendar_(new QCalendarWidget(this)) {
    // Qt replays the press that closes a popup on some platforms only; the calendar replays it
    // itself, the same everywhere (and never the press on the owner's button).
    setAttribute(Qt::WA_NoMouseReplay, true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setObjectName(QStringLiteral("DropCalendar"));
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar_->setGridVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(calendar_);
    setFocusProxy(calendar_);
    setAutoFillBackground(true);
    nameForScreenReaders();
    // Escape reaches the calendar's own typed-date and year entries first, which would take it
    // for themselves; one Escape closes the whole calendar. (Its month menu is a window of its
    // own, where Escape closes the menu only.)
    calendar_->installEventFilter(this);
    for (QWidget* w : calendar_->findChildren<QWidget*>())
        if (w->window() == this)
            w->installEventFilter(this);
    connect(calendar_, &QCalendarWidget::clicked, this, &TDropCalendar::dayChosen);
    connect(calendar_, &QCalendarWidget::activated, this, &TDropCalendar::dayChosen);
}

void TDropCalendar::nameForScreenReaders() {
    setAccessibleName(QStringLiteral("Choose a date"));
    calendar_->setAccessibleName(QStringLiteral("Calendar"));
    // The calendar's own parts, by the object names Qt gives them for style sheets. The month
    // and year buttons show their text.
    const std::pair<const char*, const char*> parts[] = {
        {"qt_calendar_prevmonth", "Previous month"},
        {"qt_calendar_nextmonth", "Next month"},
        {"qt_calendar_yearedit", "Year"},
        {"qt_calendar_calendarview", "Days of the month"},
    };
    for (const auto& [object, name] : parts)
        if (auto* w = calendar_->findChild<QWidget*>(QLatin1String(object)))
            w->setAccessibleName(QLatin1String(name));
}

void TDropCalendar::setDates(const QDate& selected, const QDate& today) {
    if (today_.isValid()) {
        calendar_->setDateTextFormat(today_, QTextCharFormat());
    }
    today_ = today;
    QTextCharFormat mark;
    mark.setFontWeight(QFont::Bold);
    mark.setFontUnderline(true);
    calendar_->setDateTextFormat(today_, mark);
    calendar_->setSelectedDate(selected);
}

QDate TDropCalendar::selectedDate() const {
    return calendar_->selectedDate();
}

void TDropCalendar::popUp(const QPoint& topLeft) {
    move(topLeft);
    show();
    raise();
    calendar_->setFocus(Qt::PopupFocusReason);
}

void TDropCalendar::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QFrame::keyPressEvent(event);
}

bool TDropCalendar::eventFilter(QObject* watched, QEvent* event) {
    if (!passingEscape_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // The calendar's own entry still sees the Escape, so that it ends itself (an entry
        // closed with the calendar around it leaves what it made behind); then the whole
        // calendar closes.
        passingEscape_ = true;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(watched, &escape);
        passingEscape_ = false;
        if (isVisible())
            close();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void TDropCalendar::mousePressEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) {
        QFrame::mousePressEvent(event);
        return;
    }
    event->accept();
    // The owner's button closes with acceptance; the press must not reach it again.
    if (onButton_ && onButton_(event->globalPosition().toPoint())) {
        emit buttonPressed();
        return;
    }
    // Closed by a click elsewhere: the click still acts there, replayed once the press that
    // closed the calendar has been handled.
    const QPoint global = event->globalPosition().toPoint();
    const Qt::MouseButton button = event->button();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    close();
    QMetaObject::invokeMethod(
        qApp, [=] { replayPress(global, button, modifiers); }, Qt::QueuedConnection);
}

void TDropCalendar::closeEvent(QCloseEvent* event) {
    event->accept();
    emit cancelled();
}

}  // namespace qev

#include "widgets/drop_calendar.h"

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextCharFormat>
#include <QVBoxLayout>

namespace qev {

TDropCalendar::TDropCalendar(QWidget* owner)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint), calendar_(new QCalendarWidget(this)) {
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
    connect(calendar_, &QCalendarWidget::clicked, this, &TDropCalendar::dayChosen);
    connect(calendar_, &QCalendarWidget::activated, this, &TDropCalendar::dayChosen);
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
    setAttribute(Qt::WA_NoMouseReplay, false);
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

void TDropCalendar::mousePressEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) {
        QFrame::mousePressEvent(event);
        return;
    }
    event->accept();
    // The owner's button closes with acceptance; the press must not reach it again.
    if (onButton_ && onButton_(event->globalPosition().toPoint())) {
        setAttribute(Qt::WA_NoMouseReplay, true);
        emit buttonPressed();
        return;
    }
    close();
}

void TDropCalendar::closeEvent(QCloseEvent* event) {
    event->accept();
    emit cancelled();
}

}  // namespace qev

#pragma once
// The date field's drop-down: a popup window holding the toolkit's month calendar.

#include <QDate>
#include <QFrame>

#include <functional>
#include <utility>

class QCalendarWidget;

namespace qev {

class TDropCalendar : public QFrame {
    Q_OBJECT

public:
    explicit TDropCalendar(QWidget* owner);

    void setDates(const QDate& selected, const QDate& today);
    QDate selectedDate() const;
    QCalendarWidget* calendar() const { return calendar_; }
    // Tells whether a global point lies on the owner's drop-down button: a press there while
    // open is the button's, not a click elsewhere.
    void setButtonTest(std::function<bool(const QPoint&)> test) { onButton_ = std::move(test); }
    void popUp(const QPoint& topLeft);

signals:
    void dayChosen(const QDate& day);  // a click on a day, or Enter
    void buttonPressed();              // the owner's button pressed while open
    void cancelled();                  // Escape, or closed by losing the focus

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void nameForScreenReaders();

    QCalendarWidget* calendar_;
    std::function<bool(const QPoint&)> onButton_;
    bool passingEscape_ = false;
    QDate today_;
};

}  // namespace qev

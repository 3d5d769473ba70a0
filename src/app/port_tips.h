#pragma once
// The "Com n" buttons tell what each port is: a tooltip, and a description for screen readers.
// They are brought up to date when the window starts, when the pointer rests on a button or the
// focus comes to one, and before each send, each time giving adapters plugged in meanwhile their
// numbers, so that what a button says is where its send goes.

#include <QObject>
#include <QString>

namespace qev {

class RadioGroup;

class PortTips : public QObject {
    Q_OBJECT
public:
    // Watches the group's buttons; port n is button n - 1. Refreshes once at once.
    explicit PortTips(RadioGroup* group);

    void refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RadioGroup* group_;
};

// A tooltip that shows text as it is, even where it looks like markup.
QString plainToolTip(const QString& text);

}  // namespace qev

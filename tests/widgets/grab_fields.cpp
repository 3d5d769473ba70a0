// Saves pictures of the time, offset and date fields, empty and filled, and of the open
// calendar, into the folder given as the first argument (default /tmp), enlarged by the second.

#include "base/error_sink.h"
#include "widgets/date_picker_edit.h"
#include "widgets/drop_calendar.h"
#include "widgets/mask_edit.h"

#include <QApplication>
#include <QFormLayout>
#include <QPixmap>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace qev;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    setErrorReporter([](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            std::fprintf(stderr, "reported: %s\n", ex.what());
        }
    });
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const int scale = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;  // enlarged for a close look

    QWidget window;
    auto* form = new QFormLayout(&window);
    auto* time = new TMaskEdit(&window);
    time->setEditMask(QStringLiteral("!00:00:00;1;_"));
    time->setMaskedText(QStringLiteral("  :  :  "));
    time->setFixedSize(61, 21);
    auto* offset = new TMaskEdit(&window);
    offset->setEditMask(QStringLiteral("!00:00;1;_"));
    offset->setFixedSize(44, 21);
    auto* date = new TDatePickerEdit(&window);
    date->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    date->setFixedSize(117, 21);
    form->addRow(QStringLiteral("Time"), time);
    form->addRow(QStringLiteral("Offset"), offset);
    form->addRow(QStringLiteral("Date"), date);
    window.move(200, 150);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        return 1;
    }

    auto save = [&](QWidget* w, const char* name) {
        const QPixmap shot = w->grab();
        shot.scaled(shot.size() * scale)
            .save(dir + u'/' + QString::fromLatin1(name) + QStringLiteral(".png"));
    };
    date->setDate(0.0);
    save(time, "time_empty");
    save(offset, "offset_empty");
    save(date, "date_empty");
    save(&window, "window_empty");

    time->setMaskedText(QStringLiteral("13:45:09"));
    offset->setMaskedText(QStringLiteral("05:30"));
    date->setDate(46364.0);
    time->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(time, QStringLiteral("1"));
    save(time, "time_editing");
    QTest::keyClicks(time, QStringLiteral("34509"));
    offset->setFocus(Qt::TabFocusReason);
    save(offset, "offset_filled");
    date->setFocus(Qt::TabFocusReason);
    save(date, "date_filled");
    save(&window, "window_filled");

    date->DropDown();
    QTest::qWait(50);
    if (!date->popup()) {
        return 1;
    }
    save(date->popup(), "calendar_open");
    return 0;
}

// qev_screenshots FOLDER: saves pictures of the main window and of the zone editor (holding
// zone 04 of a sample list) as mainform.png and setzone.png, and of the time-zone list narrowed
// to "america/" as timezones.png, for the documentation.

#include "app/application.h"
#include "app/time_zone_dialog.h"
#include "app_window.h"
#include "modal_helpers.h"
#include "protocol/zone_line.h"
#include "scoped_config.h"
#include "widgets/list_box.h"

#include <QDir>
#include <QLineEdit>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: qev_screenshots FOLDER\n", stderr);
        return 2;
    }
    const qev::test::ScopedConfig config;  // no stored settings of the person running it
    qev::Application app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));

    qev::test::AppWindow window;
    window.make();
    qev::TMainForm& form = *window.form();
    QStringList lines = qev::defaultZoneLines();
    lines[4] = QStringLiteral("Zone 04  -05:00  1:US Standard (as of 2007),12 hr");
    lines[5] = QStringLiteral("Zone 05  +05:30  0:No DST,24 hr");
    window.show();
    form.ListBox1()->setItems(lines);
    form.ListBox1()->setItemIndex(4);
    qev::test::spin(100);
    bool ok = form.grab().save(out.filePath(QStringLiteral("mainform.png")));

    qev::test::onNextModal<qev::TdlgSetZone>([&](qev::TdlgSetZone* d) {
        qev::test::spin(50);
        ok = d->grab().save(out.filePath(QStringLiteral("setzone.png"))) && ok;
        d->reject();
    });
    form.btnEditClick();

    qev::TimeZoneDialog* zones = form.timeZoneDialog();
    zones->ask(1, QStringLiteral("America/New_York"));
    zones->search()->setText(QStringLiteral("america/"));
    qev::test::spin(100);
    ok = zones->grab().save(out.filePath(QStringLiteral("timezones.png"))) && ok;
    zones->reject();
    return ok ? 0 : 1;
}

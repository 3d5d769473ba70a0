// Zones that follow a time zone, in the real window: chosen from the zone list's menu and the
// searchable list by keys, told in the tooltip, the accessible description and the status line,
// kept at the offset in force as changes fall due, ended by an edit, and shared with the zones
// command through the settings without either losing the other's choice.

#include "app/zone_following.h"
#include "app/time_zone_dialog.h"
#include "command_runner.h"
#include "printers.h"
#include "settings/main_form_settings.h"
#include "settings/platform_backend.h"
#include "settings/settings_store.h"
#include "utc_instant.h"
#include "widgets/list_box.h"
#include "widgets/mask_edit.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>

namespace qev {
namespace {

using test::onNextModal;

using test::utcAt;

// The locales the window is driven in: the zone lines are the same in each.
class ZoneFollowing : public test::WindowTest<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override { open(); }
    void open() {
        openWindow(GetParam());
        // The clock of the offsets runs as the real one does, from the instant last set.
        form_->zoneFollowing()->setNow(
            [this] { return at_ + (QDateTime::currentMSecsSinceEpoch() - sinceMs_) / 1000; });
        form_->zoneFollowing()->refresh();
    }
    void setNow(qint64 at) {
        at_ = at;
        sinceMs_ = QDateTime::currentMSecsSinceEpoch();
    }
    QString lineOf(int row) const { return form_->ListBox1()->item(row)->text(); }
    QMap<int, QString> stored() {
        TSettingsStore store(createReadOnlySettingsBackend(settingsFile()));
        return storedZoneFollows(store);
    }
    // Follows the zone typed into the search field, from the menu the Menu key opens.
    void followByKeys(int row, const QString& typed) {
        clickRow(row);
        QTest::keyClick(form_->ListBox1(), Qt::Key_Menu);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QTest::keyClick(menu, Qt::Key_Down);  // "Reset Zone"
        QTest::keyClick(menu, Qt::Key_Down);  // "Follow Time Zone..."
        QTest::keyClick(menu, Qt::Key_Return);
        TimeZoneDialog* dialog = form_->timeZoneDialog();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return QApplication::focusWidget() == dialog->search(); }));
        QTest::keyClicks(dialog->search(), typed);
        QTest::keyClick(dialog->search(), Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }));
    }

    qint64 at_ = utcAt(2027, 7, 1, 12);
    qint64 sinceMs_ = QDateTime::currentMSecsSinceEpoch();
};

TEST_P(ZoneFollowing, AZoneChosenByKeysIsKeptToldAndSent) {
    followByKeys(2, QStringLiteral("london"));
    EXPECT_EQ(lineOf(2), QStringLiteral("Zone 02  +01:00  0:No DST,12 hr"));
    const QString told =
        QStringLiteral("Follows Europe/London: +01:00 now; +00:00 from 2027-10-31 01:00 UTC");
    EXPECT_EQ(form_->ListBox1()->item(2)->toolTip(), told);
    EXPECT_EQ(form_->ListBox1()->item(2)->data(Qt::AccessibleDescriptionRole).toString(), told);
    EXPECT_TRUE(form_->StatusLine()->text().endsWith(
        "Next change: Zone 02 (Europe/London) to +00:00 at 2027-10-31 01:00 UTC."))
        << form_->StatusLine()->text();
    EXPECT_EQ(stored(), (QMap<int, QString>{{2, "Europe/London"}}));

    // A city as people write it, the US rule where it serves.
    followByKeys(3, QStringLiteral("new york"));
    EXPECT_EQ(lineOf(3), QStringLiteral("Zone 03  -05:00  1:US Standard (as of 2007),12 hr"));

    // The change falls due while the window is open: the line follows within moments, and the
    // next send carries it.
    setNow(utcAt(2027, 10, 31, 1) - 1);
    form_->zoneFollowing()->refresh();
    EXPECT_EQ(lineOf(2), QStringLiteral("Zone 02  +01:00  0:No DST,12 hr"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lineOf(2).contains("+00:00"); }, 3000));
    EXPECT_TRUE(
        form_->StatusLine()->text().startsWith("Zone 02 is now at +00:00, as Europe/London is."))
        << form_->StatusLine()->text();
    click(form_->Button3());
    QByteArray expected = test::defaultConfiguration();
    expected.replace(1 + 5 * 3, 5, QByteArray::fromHex("2D05000100"));
    EXPECT_EQ(line(1).take(82, 2000).toHex(' '), expected.toHex(' '));

    // "Fixed Offset" keeps the offset last written.
    clickRow(3);
    QTest::keyClick(form_->ListBox1(), Qt::Key_F10, Qt::ShiftModifier);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_EQ(stored(), (QMap<int, QString>{{2, "Europe/London"}}));
    EXPECT_TRUE(form_->ListBox1()->item(3)->toolTip().isEmpty());
    EXPECT_EQ(lineOf(3), QStringLiteral("Zone 03  -05:00  1:US Standard (as of 2007),12 hr"));
}

TEST_P(ZoneFollowing, AnEditOfTheOffsetEndsTheFollowingAndTheHourModeDoesNot) {
    followByKeys(2, QStringLiteral("Europe/Berlin"));
    const auto edit = [&](const std::function<void(TdlgSetZone*)>& action) {
        clickRow(2);
        onNextModal<TdlgSetZone>([action](TdlgSetZone* d) {
            action(d);
            QTest::mouseClick(d->OKBtn(), Qt::LeftButton);
        });
        click(form_->btnEdit());
    };
    edit([](TdlgSetZone* d) { QTest::mouseClick(d->CheckBox2(), Qt::LeftButton); });
    EXPECT_EQ(lineOf(2), QStringLiteral("Zone 02  +02:00  0:No DST,24 hr"));
    EXPECT_EQ(stored().value(2), QStringLiteral("Europe/Berlin"));
    edit([](TdlgSetZone* d) {
        d->MaskEdit1()->setFocus();
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Home);
        QTest::keyClicks(d->MaskEdit1(), QStringLiteral("0300"));
    });
    EXPECT_EQ(lineOf(2), QStringLiteral("Zone 02  +03:00  0:No DST,24 hr"));
    EXPECT_TRUE(stored().isEmpty());
    EXPECT_TRUE(form_->StatusLine()->text().startsWith(
        "Zone 02 no longer follows Europe/Berlin: its offset or rule was set by hand."))
        << form_->StatusLine()->text();
}

// The command changes the settings while the window is open: neither loses the other's choice,
// and the window shows the command's within a few seconds.
TEST_P(ZoneFollowing, ACommandsChoiceAndTheWindowsBothSurviveTheClose) {
    ASSERT_EQ(test::runQev({"zones", "--follow", "4", "Asia/Tokyo"}).status, 0);
    followByKeys(2, QStringLiteral("Sydney"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lineOf(4).contains("+09:00"); },
                                qev::ZoneFollowing::kPollMs + 2000));
    ASSERT_TRUE(closeWindow());
    EXPECT_EQ(stored(), (QMap<int, QString>{{2, "Australia/Sydney"}, {4, "Asia/Tokyo"}}));
    open();
    EXPECT_EQ(lineOf(2), QStringLiteral("Zone 02  +10:00  0:No DST,12 hr"));
    EXPECT_EQ(lineOf(4), QStringLiteral("Zone 04  +09:00  0:No DST,12 hr"));
    EXPECT_TRUE(form_->ListBox1()->item(4)->toolTip().startsWith("Follows Asia/Tokyo"));
}

INSTANTIATE_TEST_SUITE_P(Locales, ZoneFollowing, ::testing::Values("en_US", "fi_FI"));

}  // namespace
}  // namespace qev

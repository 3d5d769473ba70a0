#include "app/mainform_u.h"

#include "app/accessible_names.h"
#include "app/application.h"
#include "app/error_display.h"
#include "app/port_tips.h"
#include "app/settings_keeper.h"
#include "app/setzone.h"
#include "app/time_zone_dialog.h"
#include "app/zone_following.h"
#include "app/zone_menu.h"
#include "base/error_sink.h"
#include "base/version.h"
#include "cli/cli_commands.h"
#include "cli/command_line.h"
#include "protocol/date_time_value.h"
#include "protocol/messages.h"
#include "protocol/time_set_check.h"
#include "protocol/zone_line.h"
#include "serial/transmitter.h"
#include "settings/form_storage.h"
#include "settings/main_form_settings.h"
#include "settings/settings_store.h"
#include "widgets/date_picker_edit.h"
#include "widgets/list_box.h"
#include "widgets/locale_formats.h"
#include "widgets/mask_edit.h"
#include "widgets/radio_group.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace qev {
namespace {

QPushButton* button(const QString& text, int x, int y, int w, int h, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
}

// Connects a control's signal to a handler that runs under the error display's guard.
template <typename Sender, typename Signal>
void onEvent(Sender* sender, Signal signal, TMainForm* form, void (TMainForm::*handler)()) {
    QObject::connect(sender, signal, form,
                     [form, handler] { runGuarded([=] { (form->*handler)(); }); });
}

}  // namespace

TMainForm::TMainForm(QWidget* parent, Build build) : QWidget(parent) {
    setObjectName(kMainFormName);
    setWindowTitle(QStringLiteral("QEV ") + kVersion);
    setFont(windowFont());
    resize(409, 573);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (build == Build::Now)
        buildControls();
}

void TMainForm::showAndBuild() {
    show();
    if (radioGroup1_)
        return;
    // Built before any event is handled, so before the first paint: what the user sees first
    // is the whole window. The first showing's restore, which ran before the controls existed,
    // runs now.
    buildControls();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->show();
    formStorage1_->onShow();
    startFollowing();
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The storage's restore ran before this, at the same showing.
    if (formStorage1_ && formStorage1_->restored())
        startFollowing();
}

void TMainForm::startFollowing() {
    if (following_ && !followingStarted_) {
        followingStarted_ = true;
        // What the start tells goes beside the clock's state, which the status line holds now.
        runGuarded([this] { following_->start(clockStateText(false)); });
    }
}

void TMainForm::buildControls() {
    QStringList ports;
    for (int n = 1; n <= kPortChoices; ++n)
        ports << QStringLiteral("Com %1").arg(n);
    radioGroup1_ = new RadioGroup(QStringLiteral("Com Port"), ports, 4, this);
    radioGroup1_->setObjectName(kPortChoiceName);
    radioGroup1_->setGeometry(8, 8, 389, 73);
    radioGroup1_->setItemIndex(0);
    portTips_ = new PortTips(radioGroup1_);

    groupBox1_ = new QGroupBox(QStringLiteral("Date/Time"), this);
    groupBox1_->setObjectName(QStringLiteral("GroupBox1"));
    groupBox1_->setGeometry(8, 87, 389, 105);

    date1_ = new TDatePickerEdit(groupBox1_);
    date1_->setObjectName(QStringLiteral("Date1"));
    date1_->setDisplayFormat(QStringLiteral("MM/dd/yyyy"));
    date1_->setDateSeparator(u'/');
    date1_->setAllowNoDate(true);
    date1_->setGeometry(16, 24, 117, 21);

    time1_ = new TMaskEdit(groupBox1_);
    time1_->setObjectName(QStringLiteral("Time1"));
    time1_->setEditMask(QStringLiteral("!00:00:00;1;_"));
    time1_->setMaxLength(8);
    time1_->setMaskedText(QStringLiteral("  :  :  "));
    time1_->setGeometry(148, 24, 61, 21);

    label1_ = new QLabel(QStringLiteral("Zulu/UTC"), groupBox1_);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(233, 28, 140, 16);  // room for wider fallback fonts
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    button1_ = button(QStringLiteral("Send Above"), 16, 56, 75, 25, groupBox1_);
    button1_->setObjectName(QStringLiteral("Button1"));
    button2_ = button(QStringLiteral("Sync w/PC and Send"), 148, 56, 129, 25, groupBox1_);
    button2_->setObjectName(QStringLiteral("Button2"));

    groupBox2_ = new QGroupBox(QStringLiteral("Time Zone Configuration"), this);
    groupBox2_->setObjectName(QStringLiteral("GroupBox2"));
    groupBox2_->setGeometry(8, 192, 389, 317);

    listBox1_ = new ListBox(groupBox2_);
    listBox1_->setObjectName(kZoneListName);
    listBox1_->setFont(zoneListFont());
    listBox1_->setItemHeight(14);
    listBox1_->setGeometry(3, 20, 383, 245);
    listBox1_->setItems(defaultZoneLines());

    btnEdit_ = button(QStringLiteral("Edit"), 9, 271, 75, 25, groupBox2_);
    btnEdit_->setObjectName(QStringLiteral("btnEdit"));
    button3_ = button(QStringLiteral("Send Configuration"), 141, 271, 144, 25, groupBox2_);
    button3_->setObjectName(QStringLiteral("Button3"));

    // In the strip below the zones, where no control of the window lies.
    statusLine_ = new QLabel(this);
    statusLine_->setObjectName(QStringLiteral("StatusLine"));
    statusLine_->setGeometry(8, 513, 389, 54);
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusLine_->setTextFormat(Qt::PlainText);
    zoneMenu_ = new ZoneMenu(listBox1_);

    setTabOrder(radioGroup1_, date1_);
    setTabOrder(date1_, time1_);
    setTabOrder(time1_, button1_);
    setTabOrder(button1_, button2_);
    setTabOrder(button2_, listBox1_);
    setTabOrder(listBox1_, btnEdit_);
    setTabOrder(btnEdit_, button3_);

    nameMainFormControls(*this);

    onEvent(button1_, &QPushButton::clicked, this, &TMainForm::Button1Click);
    onEvent(button2_, &QPushButton::clicked, this, &TMainForm::Button2Click);
    onEvent(btnEdit_, &QPushButton::clicked, this, &TMainForm::btnEditClick);
    onEvent(button3_, &QPushButton::clicked, this, &TMainForm::Button3Click);
    onEvent(listBox1_, &ListBox::dblClick, this, &TMainForm::ListBox1DblClick);
    connect(zoneMenu_->resetZone(), &QAction::triggered, this,
            [this] { runGuarded([this] { resetZone(zoneMenu_->row()); }); });
    connect(zoneMenu_->restoreMissing(), &QAction::triggered, this,
            [this] { runGuarded([this] { restoreMissingZones(); }); });
    connect(zoneMenu_->followZone(), &QAction::triggered, this,
            [this] { runGuarded([this] { followTimeZone(zoneMenu_->row()); }); });
    connect(zoneMenu_->fixedOffset(), &QAction::triggered, this,
            [this] { runGuarded([this] { fixedOffset(zoneMenu_->row()); }); });
    connect(zoneMenu_, &ZoneMenu::aboutToShow, this, [this](int row) {
        const bool zone = row >= 0 && row < kZoneCount && row < listBox1_->count();
        zoneMenu_->followZone()->setEnabled(zone);
        zoneMenu_->fixedOffset()->setEnabled(zone && following_ &&
                                             !following_->followed(row).isEmpty());
    });

    setUpClockPort(com1_);
    com1_.setPortPrompt(&portPrompt_);
    com1_.setThreadErrorHandler(&showThreadError);
    com1_.setNoticeHandler([this](const QString& text) { showStatus(withFinalPeriod(text)); });
    connect(portTips_, &PortTips::problem, this,
            [this](const QString& text) { showStatus(withFinalPeriod(text)); });
    transmitter_.setProcessEvents([] { QCoreApplication::processEvents(); });
    transmitter_.setErrorHandler([this](std::exception_ptr error) { reportTimed(error); });
    connect(&transmitter_, &Transmitter::timedSent, this,
            [this](qint64 second) { showSent(timeSentWhat(second)); });

    settingsStore1_ = new TSettingsStore(this);
    settingsStore1_->setObjectName(QStringLiteral("SettingsStore1"));
    formStorage1_ = new TFormStorage(this);
    formStorage1_->setObjectName(QStringLiteral("FormStorage1"));
    formStorage1_->setAppStorage(settingsStore1_);
    formStorage1_->setStoredProps(mainFormStoredProps());
    formStorage1_->setErrorReporter(&showApplicationError);
    formStorage1_->loaded();
    formStorage1_->installHooks();
    keeper_ = new SettingsKeeper(this, formStorage1_, [this](const QString& t) { showStatus(t); });
    // A confirmed change is saved at once, not only at close: a logout or a kill loses nothing.
    // The user's choice of a port, by click or arrow key (the restore's is no change).
    for (int i = 0; i < radioGroup1_->count(); ++i)
        connect(radioGroup1_->button(i), &QRadioButton::clicked, keeper_, &SettingsKeeper::changed);
    following_ = new ZoneFollowing(listBox1_, settingsStore1_, this);
    following_->setStatus([this](const QString& text) { showStatus(text); });
    following_->setLinesChanged([this] { keeper_->changed(); });

    runGuarded([this] { FormCreate(); });
    showStatus(clockStateText(false));
}

TMainForm::~TMainForm() {
    // The status line goes with the window: a timed message finished on the way is not told.
    transmitter_.disconnect(this);
    // Saves unless the close already did, while the controls still exist; a failure already told
    // is not told again.
    if (formStorage1_ && formStorage1_->Active() && !formStorage1_->saved())
        keeper_->saveNow();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A time-set message waiting for its second goes out before the program ends (about a
    // second at most); the window need not stay for it.
    if (transmitter_.timedWaiting()) {
        hide();
        runGuarded([this] { transmitter_.finishTimed(); });
    }
    const bool mayClose = !keeper_ || keeper_->mayClose(!sessionEnding_);
    if (mayClose && formStorage1_)
        formStorage1_->setActive(false);  // saved: nothing more at destruction
    else
        show();  // the user is asked how to close; the window stays meanwhile
    event->setAccepted(mayClose);
}

void TMainForm::closeForSession() {
    sessionEnding_ = true;
    close();
}

void TMainForm::bringToFront() {
    // A window that has closed (a stop request may come first) stays closed.
    if (!isVisible())
        return;
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void TMainForm::showStatus(const QString& text) {
    statusLine_->setText(text);
    QAccessibleEvent event(statusLine_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

QString TMainForm::clockStateText(bool beforeSync) const {
    switch (clockSync_ ? clockSync_() : ClockSync::Unknown) {
        case ClockSync::Synced:
            return beforeSync ? QString()
                              : QStringLiteral("This computer's clock is synchronised.");
        case ClockSync::Unsynced:
            return QStringLiteral(
                "This computer's clock is not synchronised: \"Sync w/PC and "
                "Send\" sets the device from it all the same.");
        case ClockSync::Unknown:
            break;
    }
    return QStringLiteral("Whether this computer's clock is synchronised cannot be told (%1).")
        .arg(clockSyncUnknownReason());
}

QString TMainForm::sendPlace() const {
    const quint16 n =
        com1_.ComNumber() != 0 ? com1_.ComNumber() : quint16(radioGroup1_->ItemIndex() + 1);
    if (n == 0)
        return QStringLiteral("the port to be chosen");
    const QString device =
        com1_.DevicePath().isEmpty() ? portDevice(n) : deviceName(com1_.DevicePath());
    return portLabel(n, device);
}

namespace {

QString nowUtc() {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("HH:mm:ss")) +
           QStringLiteral(" UTC: ");
}

}  // namespace

void TMainForm::showSent(const QString& what) {
    const QString text =
        sentText(what, com1_.ComNumber(), deviceName(com1_.DevicePath()), com1_.DeliveryKnown());
    showStatus(nowUtc() + withFinalPeriod(text.trimmed()));
}

void TMainForm::showNotSent(std::exception_ptr error) {
    QString why;
    try {
        std::rethrow_exception(error);
    } catch (const EReported& e) {
        why = e.message();  // the box of the thread that failed says the rest
    } catch (const EAbort&) {
        showStatus(nowUtc() + QStringLiteral("Nothing was sent."));
        return;
    } catch (...) {
        why = oneLine(errorDisplayText(error).value_or(QString()));
    }
    showStatus(nowUtc() +
               QStringLiteral("Not sent to %1: %2").arg(sendPlace(), withFinalPeriod(why)));
}

void TMainForm::reportTimed(std::exception_ptr error) {
    showNotSent(error);
    showApplicationError(error);
}

void TMainForm::fillFromSystemClock() {
    showDateTime(QDateTime::currentDateTimeUtc());
}

void TMainForm::showDateTime(const QDateTime& now) {
    const QTime time = now.time();
    date1_->setDate(valueOfDateTime(now.date(), time));
    const QString sep(systemFormats().timeSeparator);
    time1_->setMaskedText(QStringLiteral("%1%2%3%4%5")
                              .arg(time.hour(), 2, 10, QChar(u'0'))
                              .arg(sep)
                              .arg(time.minute(), 2, 10, QChar(u'0'))
                              .arg(sep)
                              .arg(time.second(), 2, 10, QChar(u'0')));
}

void TMainForm::FormCreate() {
    fillFromSystemClock();
}

void TMainForm::Button1Click() {
    checkTimeSetInputs(date1_->Date(), time1_->maskedText());
    SendIt(buildTimeSetMessage(date1_->Date(), time1_->maskedText()));
}

void TMainForm::Button2Click() {
    // Sent so that it ends on the line as the second it carries begins; sent at once, it would
    // leave the device up to a second behind. The fields are filled before the port is opened
    // and show the second that is sent; the message is built from them. The click returns at
    // once: the port's writer puts the message on the line at its instant.
    portTips_->numberNow();
    const QString clock = clockStateText(true);
    try {
        const SyncPlan plan = transmitter_.sendOnSecond(
            radioGroup1_->ItemIndex(), kTimeSetMessageSize, [this](qint64 second) {
                showDateTime(QDateTime::fromSecsSinceEpoch(second, Qt::UTC));
                return buildTimeSetMessage(date1_->Date(), time1_->maskedText());
            });
        showStatus(QStringLiteral("Sending %1 to %2 as that second begins. %3")
                       .arg(timeSentWhat(plan.second), sendPlace(), clock)
                       .trimmed());
    } catch (...) {
        showNotSent(std::current_exception());
        throw;
    }
}

void TMainForm::btnEditClick() {
    const int row = listBox1_->ItemIndex();
    if (row < 0 || !zoneEditor_)
        return;
    const QString before = listBox1_->item(row)->text();
    QString line;
    try {
        line = zoneEditor_->DoIt(before);
    } catch (Exception& e) {
        e.setDetail(zoneLineAdvice(row, before));
        throw;
    }
    listBox1_->setLine(row, line);
    listBox1_->setItemIndex(row);
    if (line != before)
        keeper_->changed();
    following_->lineSetByHand(row, before, line);
}

void TMainForm::ListBox1DblClick() {
    btnEditClick();
}

void TMainForm::Button3Click() {
    // Followed zones go at the offset in force at this moment. Choices that cannot be read now
    // leave the lines as the list shows them (the poll has told why), and the send goes on.
    try {
        following_->refresh();
    } catch (const Exception&) {
    }
    const QStringList lines = listBox1_->Items();
    QByteArray message;
    try {
        message = buildZoneConfigMessage(lines);
    } catch (Exception& e) {
        e.setDetail(zoneListAdvice(lines));
        throw;
    }
    SendIt(message);
}

void TMainForm::SendIt(const QByteArray& message) {
    portTips_->numberNow();  // an adapter plugged in since gets its number first
    try {
        transmitter_.send(radioGroup1_->ItemIndex(), message);
    } catch (Exception& e) {
        // A failure that does not say where is told with the port and the device it led to.
        if (e.detail().isEmpty() && !e.message().contains(u'/'))
            e.setDetail(sendPlace());
        showNotSent(std::current_exception());
        throw;
    } catch (...) {
        showNotSent(std::current_exception());
        throw;
    }
    showSent(messageWhat(message));
}

void TMainForm::resetZone(int row) {
    if (row < 0 || row >= kZoneCount || row >= listBox1_->count())
        return;
    const QString before = listBox1_->item(row)->text();
    listBox1_->setLine(row, defaultZoneLine(row));
    listBox1_->setItemIndex(row);
    keeper_->changed();
    following_->lineSetByHand(row, before, defaultZoneLine(row));
}

void TMainForm::restoreMissingZones() {
    const QStringList lines = listBox1_->Items();
    if (lines.size() >= kZoneCount)
        return;
    const int selected = listBox1_->ItemIndex();
    listBox1_->setItems(withMissingZones(lines));
    listBox1_->setItemIndex(selected);
    keeper_->changed();
    following_->refresh();  // the new lines' descriptions, and their offsets when followed
}

TimeZoneDialog* TMainForm::timeZoneDialog() {
    if (!timeZoneDialog_) {
        timeZoneDialog_ = new TimeZoneDialog(this, [this] { return following_->now(); });
        connect(timeZoneDialog_, &TimeZoneDialog::chosen, this, [this](int k, const QString& id) {
            runGuarded([=, this] { following_->follow(k, id); });
        });
    }
    return timeZoneDialog_;
}

void TMainForm::followTimeZone(int row) {
    if (row < 0 || row >= kZoneCount || row >= listBox1_->count())
        return;
    timeZoneDialog()->ask(row, following_->followed(row));
}

void TMainForm::fixedOffset(int row) {
    if (!following_->followed(row).isEmpty())
        following_->follow(row, QString());
}

}  // namespace qev

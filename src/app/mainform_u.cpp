#include "app/mainform_u.h"

#include "app/accessible_names.h"
#include "app/application.h"
#include "app/error_display.h"
#include "app/port_tips.h"
#include "app/setzone.h"
#include "base/error_sink.h"
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

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
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

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    setObjectName(kMainFormName);
    setWindowTitle(QStringLiteral("QEV 1.0"));
    setFont(windowFont());
    resize(409, 573);

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

    setUpClockPort(com1_);
    com1_.setPortPrompt(&portPrompt_);
    com1_.setThreadErrorHandler(&showThreadError);
    transmitter_.setProcessEvents([] { QCoreApplication::processEvents(); });
    transmitter_.setErrorHandler(&showApplicationError);

    settingsStore1_ = new TSettingsStore(this);
    settingsStore1_->setObjectName(QStringLiteral("SettingsStore1"));
    formStorage1_ = new TFormStorage(this);
    formStorage1_->setObjectName(QStringLiteral("FormStorage1"));
    formStorage1_->setAppStorage(settingsStore1_);
    formStorage1_->setStoredProps(mainFormStoredProps());
    formStorage1_->setErrorReporter(&showApplicationError);
    formStorage1_->loaded();
    formStorage1_->installHooks();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    runGuarded([this] { FormCreate(); });
}

TMainForm::~TMainForm() {
    // Saves unless the close already did, while the controls still exist.
    formStorage1_->onDestroy();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A time-set message waiting for its second goes out before the program ends (about a
    // second at most); the window need not stay for it.
    if (transmitter_.timedWaiting()) {
        hide();
        runGuarded([this] { transmitter_.finishTimed(); });
    }
    runGuarded([&] {
        bool canClose = true;
        formStorage1_->onCloseQuery(canClose);
        event->setAccepted(canClose);
    });
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
    portTips_->refresh();
    transmitter_.sendOnSecond(radioGroup1_->ItemIndex(), kTimeSetMessageSize,
                              [this](qint64 second) {
                                  showDateTime(QDateTime::fromSecsSinceEpoch(second, Qt::UTC));
                                  return buildTimeSetMessage(date1_->Date(), time1_->maskedText());
                              });
}

void TMainForm::btnEditClick() {
    const int row = listBox1_->ItemIndex();
    if (row < 0 || !zoneEditor_)
        return;
    const QString line = zoneEditor_->DoIt(listBox1_->item(row)->text());
    listBox1_->setLine(row, line);
    listBox1_->setItemIndex(row);
}

void TMainForm::ListBox1DblClick() {
    btnEditClick();
}

void TMainForm::Button3Click() {
    SendIt(buildZoneConfigMessage(listBox1_->Items()));
}

void TMainForm::SendIt(const QByteArray& message) {
    portTips_->refresh();  // an adapter plugged in since gets its number first
    transmitter_.send(radioGroup1_->ItemIndex(), message);
}

}  // namespace qev

#pragma once
// The main window: the port choice, the date and time with their two send buttons, and the
// sixteen zone lines with Edit and Send Configuration. Its controls are its only data.

#include "cli/clock_sync.h"
#include "serial/com_port.h"
#include "serial/prompt/com_select_form.h"
#include "serial/transmitter.h"

#include <QByteArray>
#include <QDateTime>
#include <QWidget>

#include <exception>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace qev {

class ListBox;
class PortTips;
class RadioGroup;
class SettingsKeeper;
class ZoneMenu;
class TDatePickerEdit;
class TdlgSetZone;
class TimeZoneDialog;
class ZoneFollowing;
class TFormStorage;
class TMaskEdit;
class TSettingsStore;

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // Now: the window is whole when made. AfterShow: only its frame is made, for showAndBuild().
    enum class Build { Now, AfterShow };
    explicit TMainForm(QWidget* parent = nullptr, Build build = Build::Now);
    ~TMainForm() override;

    // Shows the window and, when it was made without them, builds its controls at once: its
    // frame reaches the screen before the fonts are loaded for the controls' texts.
    void showAndBuild();

    // The one zone editor, created after the window and living as long as it.
    void setZoneEditor(TdlgSetZone* editor) { zoneEditor_ = editor; }

    void FormCreate();
    void Button1Click();
    void Button2Click();
    void btnEditClick();
    void ListBox1DblClick();
    void Button3Click();
    // One transmission on the chosen port; failures other than a cancelled prompt are raised. A
    // time-set message waiting for its second on another port goes first.
    void SendIt(const QByteArray& message);

    RadioGroup* RadioGroup1() const { return radioGroup1_; }
    QGroupBox* GroupBox1() const { return groupBox1_; }
    TDatePickerEdit* Date1() const { return date1_; }
    TMaskEdit* Time1() const { return time1_; }
    QLabel* Label1() const { return label1_; }
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }
    QGroupBox* GroupBox2() const { return groupBox2_; }
    ListBox* ListBox1() const { return listBox1_; }
    QPushButton* btnEdit() const { return btnEdit_; }
    QPushButton* Button3() const { return button3_; }
    TComPort& Com1() { return com1_; }
    Transmitter& transmitter() { return transmitter_; }
    TFormStorage* FormStorage1() const { return formStorage1_; }
    SettingsKeeper* settingsKeeper() const { return keeper_; }
    ZoneMenu* zoneMenu() const { return zoneMenu_; }
    PortTips* portTips() const { return portTips_; }
    ZoneFollowing* zoneFollowing() const { return following_; }
    // The dialog of "Follow Time Zone...", made when first asked for.
    TimeZoneDialog* timeZoneDialog();

    // The line below the zones that says what the last send did, and what else the user should
    // know (the clock's state, a save that failed); screen readers are told of each change.
    QLabel* StatusLine() const { return statusLine_; }
    void showStatus(const QString& text);

    // Where the window learns whether this computer's clock is synchronised (tests set theirs).
    void setClockSync(std::function<ClockSync()> clockSync) { clockSync_ = std::move(clockSync); }

    // Closes as the end of a session or a stop signal asks: what can be saved is saved, and no
    // one is asked anything.
    void closeForSession();
    // Brings the window to the front, for a second start of the program.
    void bringToFront();

    // The context menu's commands on zone line row.
    void resetZone(int row);
    void restoreMissingZones();
    void followTimeZone(int row);
    void fixedOffset(int row);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void fillFromSystemClock();
    void showDateTime(const QDateTime& utc);
    QString clockStateText(bool beforeSync) const;
    // The port a send went to, as messages name it: "COM3 (/dev/ttyS2)".
    QString sendPlace() const;
    void showSent(const QString& what);
    void showNotSent(std::exception_ptr error);
    void reportTimed(std::exception_ptr error);
    void startFollowing();

    RadioGroup* radioGroup1_ = nullptr;
    PortTips* portTips_ = nullptr;
    QGroupBox* groupBox1_ = nullptr;
    TDatePickerEdit* date1_ = nullptr;
    TMaskEdit* time1_ = nullptr;
    QLabel* label1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
    QGroupBox* groupBox2_ = nullptr;
    ListBox* listBox1_ = nullptr;
    QPushButton* btnEdit_ = nullptr;
    QPushButton* button3_ = nullptr;
    QLabel* statusLine_ = nullptr;
    ZoneMenu* zoneMenu_ = nullptr;
    ZoneFollowing* following_ = nullptr;
    TimeZoneDialog* timeZoneDialog_ = nullptr;

    DialogPortPrompt portPrompt_;
    TComPort com1_;
    Transmitter transmitter_{com1_};  // after the port: a waiting message goes before it closes
    TSettingsStore* settingsStore1_ = nullptr;
    TFormStorage* formStorage1_ = nullptr;
    SettingsKeeper* keeper_ = nullptr;
    TdlgSetZone* zoneEditor_ = nullptr;
    std::function<ClockSync()> clockSync_ = systemClockSync;
    bool sessionEnding_ = false;
    bool followingStarted_ = false;
};

}  // namespace qev

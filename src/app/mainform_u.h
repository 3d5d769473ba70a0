#pragma once
// The main window: the port choice, the date and time with their two send buttons, and the
// sixteen zone lines with Edit and Send Configuration. Its controls are its only data.

#include "serial/com_port.h"
#include "serial/prompt/com_select_form.h"
#include "serial/transmitter.h"

#include <QByteArray>
#include <QDateTime>
#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;

namespace qev {

class ListBox;
class PortTips;
class RadioGroup;
class TDatePickerEdit;
class TdlgSetZone;
class TFormStorage;
class TMaskEdit;
class TSettingsStore;

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fillFromSystemClock();
    void showDateTime(const QDateTime& utc);

    RadioGroup* radioGroup1_;
    PortTips* portTips_;
    QGroupBox* groupBox1_;
    TDatePickerEdit* date1_;
    TMaskEdit* time1_;
    QLabel* label1_;
    QPushButton* button1_;
    QPushButton* button2_;
    QGroupBox* groupBox2_;
    ListBox* listBox1_;
    QPushButton* btnEdit_;
    QPushButton* button3_;

    DialogPortPrompt portPrompt_;
    TComPort com1_;
    Transmitter transmitter_{com1_};  // after the port: a waiting message goes before it closes
    TSettingsStore* settingsStore1_;
    TFormStorage* formStorage1_;
    TdlgSetZone* zoneEditor_ = nullptr;
};

}  // namespace qev

#pragma once
// "Select Port": asks for a port when none is configured. A new one is created, filled and
// freed for every open that needs it.

#include "serial/port_prompt.h"

#include <QDialog>

class QComboBox;
class QPushButton;

namespace qev {

class TComSelectForm : public QDialog {
    Q_OBJECT
public:
    explicit TComSelectForm(const QStringList& portNames, QWidget* parent = nullptr);

    QComboBox* PortsComboBox() const { return portsComboBox_; }
    QPushButton* OkBtn() const { return okBtn_; }
    QPushButton* AbortBtn() const { return abortBtn_; }

    // What each item is, one per item: shown as the item's tooltip, and told by a screen reader
    // for the item chosen.
    void setDescriptions(const QStringList& descriptions);

    // The selected item's text, empty when nothing is selected.
    QString selectedText() const;

    // The close button gives Cancel (2); Esc gives Abort (3), as the Cancel button does.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void describeChoice();

    QComboBox* portsComboBox_;
    QPushButton* okBtn_;
    QPushButton* abortBtn_;
};

// The port layer's prompt, answered by a TComSelectForm over the active window.
class DialogPortPrompt : public PortPrompt {
public:
    int exec(const QStringList& items, QString& selectedText) override;
    int execDescribed(const QStringList& items, const QStringList& descriptions,
                      QString& selectedText) override;
};

}  // namespace qev

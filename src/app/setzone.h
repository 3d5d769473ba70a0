#pragma once
// The zone editor: shows one zone line in its controls and gives back the line to put in its
// place. Created once at start-up, hidden, and reused for every edit.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace qev {

class TMaskEdit;

class TdlgSetZone : public QDialog {
    Q_OBJECT
public:
    explicit TdlgSetZone(QWidget* parent = nullptr);

    // Fills the controls from line, shows the dialog modally, and returns the newly written line
    // on OK, the given line otherwise. Throws EConvertError (without showing anything) when the
    // line's rule index does not read as an integer.
    QString DoIt(const QString& line);

    QPushButton* OKBtn() const { return okBtn_; }
    QPushButton* CancelBtn() const { return cancelBtn_; }
    TMaskEdit* MaskEdit1() const { return maskEdit1_; }
    QCheckBox* CheckBox1() const { return checkBox1_; }
    QComboBox* ComboBox1() const { return comboBox1_; }
    QCheckBox* CheckBox2() const { return checkBox2_; }
    QLabel* Label1() const { return label1_; }

private:
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
    TMaskEdit* maskEdit1_;
    QCheckBox* checkBox1_;
    QComboBox* comboBox1_;
    QCheckBox* checkBox2_;
    QLabel* label1_;
};

}  // namespace qev

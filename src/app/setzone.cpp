#include "app/setzone.h"

#include "protocol/zone_line.h"
#include "widgets/mask_edit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace qev {

TdlgSetZone::TdlgSetZone(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("dlgSetZone"));
    setWindowTitle(QStringLiteral("Set Zone..."));
    setFixedSize(384, 179);

    // The bevel first, so that it lies beneath the fields it frames.
    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(4, 10, 281, 161);

    // Focusable controls are created in tab order.
    okBtn_ = new QPushButton(QStringLiteral("OK"), this);
    okBtn_->setObjectName(QStringLiteral("OKBtn"));
    okBtn_->setGeometry(300, 8, 75, 25);
    okBtn_->setDefault(true);
    connect(okBtn_, &QPushButton::clicked, this, [this] { done(1); });

    cancelBtn_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
    cancelBtn_->setGeometry(300, 38, 75, 25);
    cancelBtn_->setAutoDefault(false);
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { done(2); });

    maskEdit1_ = new TMaskEdit(this);
    maskEdit1_->setObjectName(QStringLiteral("MaskEdit1"));
    maskEdit1_->setEditMask(QStringLiteral("!00:00;1;_"));
    maskEdit1_->setMaxLength(5);
    maskEdit1_->setMaskedText(QStringLiteral("  :  "));
    maskEdit1_->setGeometry(57, 29, 44, 21);

    checkBox1_ = new QCheckBox(QStringLiteral("Subtract Offset?"), this);
    checkBox1_->setObjectName(QStringLiteral("CheckBox1"));
    checkBox1_->setGeometry(16, 56, 145, 17);

    comboBox1_ = new QComboBox(this);
    comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
    comboBox1_->setEditable(false);
    comboBox1_->addItems(dstRuleNames());
    comboBox1_->setGeometry(16, 79, 257, 21);

    checkBox2_ = new QCheckBox(QStringLiteral("Show time in 24 hour format?"), this);
    checkBox2_->setObjectName(QStringLiteral("CheckBox2"));
    checkBox2_->setGeometry(16, 106, 209, 17);

    label1_ = new QLabel(QStringLiteral("Zone X"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    // Fixed sizes with room for wider fallback fonts: measuring the text would load the fonts
    // while the program starts.
    label1_->setGeometry(16, 13, 120, 16);
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* label2 = new QLabel(QStringLiteral("Offset:"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(16, 32, 40, 16);
    label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label2->setBuddy(maskEdit1_);  // a screen reader's name for the field
    maskEdit1_->setAccessibleDescription(QStringLiteral("Hours and minutes from UTC."));
    // The rule list has no label on screen. Screen readers on Linux name a drop-down list after
    // its current item and read what it is from the label it is tied to; a hidden label says it.
    auto* ruleLabel = new QLabel(QStringLiteral("DST rule"), this);
    ruleLabel->setObjectName(QStringLiteral("RuleLabel"));
    ruleLabel->setBuddy(comboBox1_);
    ruleLabel->hide();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString TdlgSetZone::DoIt(const QString& line) {
    label1_->setText(line.left(7));
    // The line's offset always has ":"; the field shows the locale's time separator.
    maskEdit1_->setMaskedText(offsetForField(line, maskEdit1_->localeFormats().timeSeparator));
    checkBox1_->setChecked(line.size() >= 10 && line[9] == u'-');
    const QString tail = zoneTail(line);
    const qint32 rule = tailRuleIndex(tail);  // a bad index ends the edit before anything shows
    comboBox1_->setCurrentIndex(rule >= 0 && rule < comboBox1_->count() ? rule : -1);
    const int shownRule = comboBox1_->currentIndex();
    checkBox2_->setChecked(tailIs24Hour(tail));

    okBtn_->setFocus();
    if (exec() != 1)
        return line;
    const int index = comboBox1_->currentIndex();
    // A rule box left as it opened keeps the line's rule, also one the list does not hold.
    const QString ruleText = index == shownRule
                                 ? tailRuleText(tail)
                                 : QString::number(index) + u':' + comboBox1_->itemText(index);
    return writeZoneLine(line.left(7), checkBox1_->isChecked(),
                         offsetFromField(maskEdit1_->maskedText()), ruleText,
                         checkBox2_->isChecked());
}

}  // namespace qev

#include "serial/prompt/com_select_form.h"

#include "widgets/plain_tool_tip.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace qev {
namespace {

QLabel* label(const QString& text, int x, int y, int w, int h, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    // The design size fits the original font; a wider fallback font must not clip the text.
    l->setGeometry(x, y, std::max(w, l->sizeHint().width()), h);
    return l;
}

}  // namespace

TComSelectForm::TComSelectForm(const QStringList& portNames, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ComSelectForm"));
    setWindowTitle(QStringLiteral("Select Port"));
    setModal(true);

    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    setFont(f);

    // Created in tab order: OK, Cancel, the list.
    okBtn_ = new QPushButton(QStringLiteral("OK"), this);
    okBtn_->setObjectName(QStringLiteral("OkBtn"));
    okBtn_->setGeometry(8, 95, 85, 27);
    okBtn_->setDefault(true);
    connect(okBtn_, &QPushButton::clicked, this, [this] { done(PortPrompt::Ok); });

    abortBtn_ = new QPushButton(QStringLiteral("Cancel"), this);
    abortBtn_->setObjectName(QStringLiteral("AbortBtn"));
    abortBtn_->setGeometry(124, 95, 85, 27);
    abortBtn_->setAutoDefault(false);
    connect(abortBtn_, &QPushButton::clicked, this, [this] { done(PortPrompt::Abort); });

    portsComboBox_ = new QComboBox(this);
    portsComboBox_->setObjectName(QStringLiteral("PortsComboBox"));
    portsComboBox_->setGeometry(8, 64, 201, 21);
    portsComboBox_->setEditable(false);
    portsComboBox_->addItems(portNames);
    portsComboBox_->setCurrentIndex(portNames.isEmpty() ? -1 : 0);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 201, 42);
    bevel->lower();
    QLabel* l1 =
        label(QStringLiteral("The configured serial port is not valid."), 18, 14, 176, 13, this);
    l1->setObjectName(QStringLiteral("Label1"));
    QLabel* l2 = label(QStringLiteral("Please choose another port."), 18, 30, 133, 13, this);
    l2->setObjectName(QStringLiteral("Label2"));
    l2->setBuddy(portsComboBox_);  // what a screen reader says the list is for

    const int width = std::max(220, l1->geometry().right() + 18);
    if (width > 220) {
        bevel->resize(width - 19, bevel->height());
        portsComboBox_->resize(width - 19, portsComboBox_->height());
        abortBtn_->move(width - 96, abortBtn_->y());
    }
    setFixedSize(width, 131);

    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    okBtn_->setFocus();
}

void TComSelectForm::setDescriptions(const QStringList& descriptions) {
    for (int i = 0; i < portsComboBox_->count() && i < descriptions.size(); ++i) {
        portsComboBox_->setItemData(i, plainToolTip(descriptions.at(i)), Qt::ToolTipRole);
        portsComboBox_->setItemData(i, descriptions.at(i), Qt::AccessibleDescriptionRole);
    }
    connect(portsComboBox_, &QComboBox::currentIndexChanged, this, &TComSelectForm::describeChoice,
            Qt::UniqueConnection);
    describeChoice();
}

// The closed list shows only the chosen item: it carries that item's description.
void TComSelectForm::describeChoice() {
    const int i = portsComboBox_->currentIndex();
    portsComboBox_->setToolTip(portsComboBox_->itemData(i, Qt::ToolTipRole).toString());
    portsComboBox_->setAccessibleDescription(
        portsComboBox_->itemData(i, Qt::AccessibleDescriptionRole).toString());
}

QString TComSelectForm::selectedText() const {
    return portsComboBox_->currentIndex() < 0 ? QString() : portsComboBox_->currentText();
}

void TComSelectForm::reject() {
    done(PortPrompt::Cancel);
}

void TComSelectForm::keyPressEvent(QKeyEvent* event) {
    // Escape cancels, as the Cancel button does: a dialog that ignores it is a dead end for the
    // keyboard.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        done(PortPrompt::Abort);
        return;
    }
    QDialog::keyPressEvent(event);
}

int DialogPortPrompt::exec(const QStringList& items, QString& selectedText) {
    return execDescribed(items, {}, selectedText);
}

int DialogPortPrompt::execDescribed(const QStringList& items, const QStringList& descriptions,
                                    QString& selectedText) {
    TComSelectForm form(items, QApplication::activeWindow());
    form.setDescriptions(descriptions);
    const int result = form.exec();
    selectedText = result == PortPrompt::Ok ? form.selectedText() : QString();
    return result;
}

}  // namespace qev

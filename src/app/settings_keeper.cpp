#include "app/settings_keeper.h"

#include "app/error_display.h"
#include "base/error_text.h"
#include "settings/form_storage.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace qev {

SettingsKeeper::SettingsKeeper(QWidget* window, TFormStorage* storage,
                               std::function<void(const QString&)> status)
    : QObject(window), window_(window), storage_(storage), status_(std::move(status)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kSaveDelayMs);
    connect(&timer_, &QTimer::timeout, this, [this] { saveNow(); });
}

void SettingsKeeper::changed() {
    unsaved_ = true;
    timer_.start();
}

bool SettingsKeeper::saveNow() {
    timer_.stop();
    try {
        storage_->SaveFormPlacement();
    } catch (...) {
        report(std::current_exception());
        return false;
    }
    unsaved_ = false;
    // A save that works again ends what the status line said of the failure.
    if (!lastShown_.isEmpty()) {
        lastShown_.clear();
        status_(QStringLiteral("Settings saved."));
    }
    for (const std::exception_ptr& notice : storage_->AppStorage()->takeNotices())
        showApplicationError(notice);
    return true;
}

void SettingsKeeper::report(std::exception_ptr error) {
    // What the store noticed on the way is what the failure says: one message, not two.
    storage_->AppStorage()->takeNotices();
    const QString text = errorDisplayText(error).value_or(QString());
    status_(QStringLiteral("Settings not saved: %1").arg(oneLine(text)));
    // The same failure again (every change, and the close) is told in the status line only.
    if (text == lastShown_)
        return;
    lastShown_ = text;
    showApplicationError(error);
}

bool SettingsKeeper::mayClose(bool ask) {
    if (discard_)
        return true;
    const bool hadChanges = unsaved_;
    if (saveNow() || !hadChanges || !ask)
        return true;  // saved, or nothing of the user's is lost, or there is no one to ask
    askHowToClose(lastShown_);
    return false;
}

void SettingsKeeper::askHowToClose(const QString& failure) {
    if (question_)
        return;
    question_ = new QMessageBox(
        QMessageBox::Warning, applicationTitle(QCoreApplication::applicationFilePath()),
        failure + QStringLiteral("\n\nTry again, or close without saving the changes made since "
                                 "the settings were last saved?"),
        QMessageBox::NoButton, window_);
    question_->setTextFormat(Qt::PlainText);
    question_->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* retry = question_->addButton(QStringLiteral("Try Again"), QMessageBox::AcceptRole);
    QPushButton* discard =
        question_->addButton(QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole);
    question_->addButton(QMessageBox::Cancel);
    question_->setDefaultButton(retry);
    connect(question_, &QMessageBox::finished, this, [this, retry, discard] {
        QAbstractButton* chosen = question_ ? question_->clickedButton() : nullptr;
        if (chosen == discard) {
            discard_ = true;
            storage_->setActive(false);  // nor saved again when the window goes
        }
        if (chosen == retry || chosen == discard)
            QMetaObject::invokeMethod(window_, &QWidget::close, Qt::QueuedConnection);
    });
    question_->open();
}

}  // namespace qev

#include "app/error_display.h"

#include <QApplication>
#include <QMessageBox>

namespace qev {

void showErrorBox(const QString& text, const QString& title) {
    const QString caption =
        title.isEmpty() ? applicationTitle(QCoreApplication::applicationFilePath()) : title;
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    // Messages carry names from devices, files and other programs: a name that looks like
    // markup is shown as it is, not rendered.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void showApplicationError(std::exception_ptr error) {
    if (const auto text = errorDisplayText(error))
        showErrorBox(*text);
}

void showThreadError(const ThreadFailure& failure) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    const QString text = failure.text();
    // Queued: the box is built on the user-interface thread, never on the worker.
    QMetaObject::invokeMethod(
        app, [text] { showErrorBox(text, QStringLiteral("Application Error")); },
        Qt::QueuedConnection);
}

}  // namespace qev

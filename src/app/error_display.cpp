#include "app/error_display.h"

#include "protocol/exception.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace qev {
namespace {

std::optional<QString> innermostText(const std::exception_ptr& error);

// A std::nested_exception chain below e replaces text with its innermost non-empty message.
void takeNestedText(const std::exception& e, QString& text) {
    const auto* nested = dynamic_cast<const std::nested_exception*>(&e);
    if (!nested || !nested->nested_ptr())
        return;
    if (auto inner = innermostText(nested->nested_ptr()); inner && !inner->isEmpty())
        text = *inner;
}

// The message to show for error, before the final-period rule; nothing for EAbort.
std::optional<QString> innermostText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return std::nullopt;
    } catch (const Exception& e) {
        QString text = e.message();
        for (const Exception* inner = e.inner().get(); inner; inner = inner->inner().get())
            if (!inner->message().isEmpty())
                text = inner->message();
        takeNestedText(e, text);
        return text;
    } catch (const std::exception& e) {
        QString text = QString::fromUtf8(e.what());
        takeNestedText(e, text);
        return text;
    } catch (...) {
        return QStringLiteral("An unexpected error occurred");
    }
}

}  // namespace

std::optional<QString> errorDisplayText(std::exception_ptr error) {
    if (!error)
        return std::nullopt;
    auto text = innermostText(error);
    if (text)
        *text = withFinalPeriod(std::move(*text));
    return text;
}

QString withFinalPeriod(QString text) {
    if (!text.isEmpty() && text.back().unicode() > u'.')
        text += u'.';
    return text;
}

QString applicationTitle(const QString& programPath) {
    QString name = QFileInfo(programPath).fileName();
    name.truncate(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

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

void showThreadError(const QString& className, const QString& message) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    const QString text = QStringLiteral("Exception %1 in a serial port thread: %2")
                             .arg(className, withFinalPeriod(message));
    // Queued: the box is built on the user-interface thread, never on the worker.
    QMetaObject::invokeMethod(
        app, [text] { showErrorBox(text, QStringLiteral("Application Error")); },
        Qt::QueuedConnection);
}

}  // namespace qev

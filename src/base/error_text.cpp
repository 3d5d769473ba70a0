#include "base/error_text.h"

#include "base/exception.h"

#include <QFileInfo>

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

namespace {

QString detailOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.detail();
    } catch (...) {
        return {};
    }
}

}  // namespace

std::optional<QString> errorDisplayText(std::exception_ptr error) {
    if (!error)
        return std::nullopt;
    auto text = innermostText(error);
    if (!text)
        return text;
    *text = withFinalPeriod(std::move(*text));
    if (const QString detail = detailOf(error); !detail.isEmpty())
        *text += u'\n' + withFinalPeriod(detail);
    return text;
}

QString oneLine(const QString& text) {
    QString joined = text;
    joined.replace(u'\n', u' ');
    return joined;
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

}  // namespace qev

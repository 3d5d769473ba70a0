#pragma once
// The one base class of every error QEV raises. It carries the user-facing message text;
// the application error display shows that text and nothing else.

#include <QByteArray>
#include <QString>

#include <exception>
#include <memory>

namespace qev {

class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

    // The error this one wraps, if any; the display shows the innermost message.
    const std::shared_ptr<const Exception>& inner() const noexcept { return inner_; }
    void setInner(std::shared_ptr<const Exception> inner) { inner_ = std::move(inner); }

    // Plain words that the message leaves out: which port, device or file, what happened, what
    // to do. The display shows them on a line of their own after the message.
    const QString& detail() const noexcept { return detail_; }
    void setDetail(QString detail) { detail_ = std::move(detail); }

private:
    QString message_;
    QByteArray utf8_;
    std::shared_ptr<const Exception> inner_;
    QString detail_;
};

// The silent error: it ends an action without telling the user.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}

protected:
    explicit EAbort(QString message) : Exception(std::move(message)) {}
};

// A failure that its own report has told the user of already (a serial thread's box, a line on
// standard error). It ends the action as silently as EAbort; its message says what happened, for
// a status line.
class EReported : public EAbort {
public:
    explicit EReported(QString message) : EAbort(std::move(message)) {}
};

// A text that does not read as the number or date asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A list asked for a line it does not hold.
class EStringListError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace qev

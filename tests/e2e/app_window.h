#pragma once
// The program's window for tests and tools: the main window with its zone editor, made, shown
// and closed as main() does, in a private configuration folder of the caller's.

#include "app/mainform_u.h"
#include "app/setzone.h"
#include "widgets/locale_formats.h"

#include <QLocale>
#include <QTest>

#include <memory>

namespace qev::test {

class AppWindow {
public:
    ~AppWindow() { close(); }

    // Makes the window and its zone editor, in the date and time formats of locale ("C",
    // "en_US", "fi_FI", ...) when one is named; not shown yet.
    void make(const char* locale = nullptr) {
        if (locale)
            setSystemFormats(LocaleFormats::fromLocale(QLocale(QString::fromLatin1(locale))));
        form_ = std::make_unique<TMainForm>();
        editor_ = std::make_unique<TdlgSetZone>();
        form_->setZoneEditor(editor_.get());
    }
    // Shows it as the program's start does, which restores the stored settings; true once it
    // is on the screen.
    bool show() {
        form_->show();
        return QTest::qWaitForWindowExposed(form_.get(), 5000);
    }
    // Closes and destroys it, as the program's end does; what the close answered.
    bool close() {
        const bool closed = !form_ || form_->close();
        editor_.reset();
        form_.reset();
        setSystemFormats(std::nullopt);
        return closed;
    }

    TMainForm* form() const { return form_.get(); }
    TdlgSetZone* editor() const { return editor_.get(); }

private:
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TdlgSetZone> editor_;
};

}  // namespace qev::test

// The error display: what text an escaped error shows, the box it shows in, the title, and
// worker-thread failures reaching the user-interface thread.

#include "app/error_display.h"
#include "printers.h"
#include "test_application.h"

#include "base/exception.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace qev {
namespace {

std::exception_ptr raised(auto&& make) {
    try {
        make();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

TEST(ErrorDisplayText, FinalPeriodFollowsTheLastCharacterCode) {
    EXPECT_EQ(withFinalPeriod(QStringLiteral("''x'' is not a valid integer value")),
              QStringLiteral("''x'' is not a valid integer value."));
    EXPECT_EQ(withFinalPeriod(QStringLiteral("List index out of bounds (15)")),
              QStringLiteral("List index out of bounds (15)"));
    EXPECT_EQ(withFinalPeriod(QStringLiteral("stop!")), QStringLiteral("stop!"));
    EXPECT_EQ(withFinalPeriod(QStringLiteral("quoted ''")), QStringLiteral("quoted ''"));
    EXPECT_EQ(withFinalPeriod(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(withFinalPeriod(QStringLiteral("code 7")), QStringLiteral("code 7."));  // digit
    EXPECT_EQ(withFinalPeriod(QStringLiteral("a/")), QStringLiteral("a/."));          // '/' > '.'
    EXPECT_EQ(withFinalPeriod(QStringLiteral("a-")), QStringLiteral("a-"));           // '-' < '.'
    EXPECT_EQ(withFinalPeriod(QString()), QString());
}

TEST(ErrorDisplayText, AbortIsSilentAndOthersShowTheirMessage) {
    EXPECT_FALSE(errorDisplayText(raised([] { throw EAbort(); })).has_value());
    EXPECT_EQ(errorDisplayText(raised([] { throw EConvertError(QStringLiteral("''a'' bad")); })),
              QStringLiteral("''a'' bad."));
    EXPECT_EQ(errorDisplayText(raised([] { throw std::runtime_error("plain failure"); })),
              QStringLiteral("plain failure."));
    EXPECT_TRUE(errorDisplayText(raised([] { throw 42; })).has_value());
}

TEST(ErrorDisplayText, InnermostMessageOfAChainUnlessEmpty) {
    auto chained = [](QString innerText) {
        return raised([&] {
            Exception outer(QStringLiteral("outer"));
            auto middle = std::make_shared<Exception>(QStringLiteral("middle"));
            middle->setInner(std::make_shared<Exception>(innerText));
            outer.setInner(middle);
            throw outer;
        });
    };
    EXPECT_EQ(errorDisplayText(chained(QStringLiteral("innermost"))), QStringLiteral("innermost."));
    EXPECT_EQ(errorDisplayText(chained(QString())), QStringLiteral("middle."));

    const auto nested = raised([] {
        try {
            throw EConvertError(QStringLiteral("deep cause"));
        } catch (...) {
            std::throw_with_nested(std::runtime_error("wrapper"));
        }
    });
    EXPECT_EQ(errorDisplayText(nested), QStringLiteral("deep cause."));
}

TEST(ErrorDisplayTitle, ProgramFileNameWithoutFolderOrExtension) {
    EXPECT_EQ(applicationTitle(QStringLiteral("/usr/bin/qev")), QStringLiteral("qev"));
    EXPECT_EQ(applicationTitle(QStringLiteral("C:/Program Files/QEV.EXE")), QStringLiteral("Qev"));
    EXPECT_EQ(applicationTitle(QStringLiteral("/opt/MyTool.v2.bin")), QStringLiteral("Mytool"));
    EXPECT_EQ(applicationTitle(QStringLiteral("/x/.hidden")), QString());
}

class ErrorBox : public ::testing::Test {
protected:
    static void SetUpTestSuite() { qev::test::ensureApplication<QApplication>(); }

    // Runs show() and returns the box it opened (title, text, icon, buttons), closing it.
    struct Seen {
        bool shown = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };
    static Seen capture(const std::function<void()>& show) {
        Seen seen;
        auto* poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [&seen, poll] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen = {true, box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
                box->button(QMessageBox::Ok)->click();
                poll->stop();
            }
        });
        poll->start();
        QTimer::singleShot(3000, poll, &QTimer::stop);
        show();
        delete poll;
        return seen;
    }
};

TEST_F(ErrorBox, ShowsTheMessageWithOkAndTheErrorIcon) {
    const Seen seen = capture([] {
        showApplicationError(raised([] { throw EConvertError(QStringLiteral("''x'' no")); }));
    });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, QStringLiteral("''x'' no."));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.title, applicationTitle(QCoreApplication::applicationFilePath()));
}

TEST_F(ErrorBox, AbortShowsNothing) {
    const Seen seen = capture([] {
        showApplicationError(raised([] { throw EAbort(); }));
        QCoreApplication::processEvents();
    });
    EXPECT_FALSE(seen.shown);
}

TEST_F(ErrorBox, WorkerThreadFailureIsShownOnTheUiThread) {
    const Seen seen = capture([] {
        std::thread worker([] {
            showThreadError({QStringLiteral("EInOutError"), QStringLiteral("Device write error"),
                             QStringLiteral("COM3 (/dev/ttyUSB0)")});
        });
        worker.join();
        // The box must not have been built on the worker; it appears once the loop runs.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        QEventLoop loop;
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
    });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, QStringLiteral("Application Error"));
    EXPECT_TRUE(seen.text.contains(QStringLiteral("EInOutError")));
    EXPECT_EQ(seen.text, QStringLiteral("Exception EInOutError in a serial port thread: Device "
                                        "write error.\nCOM3 (/dev/ttyUSB0)"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace qev

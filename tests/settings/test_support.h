#pragma once
// Shared by the settings tests: real files in a fresh folder, and window doubles with the
// properties the main window's controls publish.

#include "settings/form_storage.h"
#include "settings/reg_file_backend.h"
#include "settings/reg_parser.h"
#include "settings/settings_errors.h"
#include "settings/settings_store.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include "printers.h"
#include "test_application.h"

#include <memory>
#include <ostream>

namespace qev::test {

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(bytes);
    }
}

// A settings file from its lines, in the file's own CR LF form.
inline QByteArray regFile(const QStringList& lines) {
    return (QStringList{QStringLiteral("Windows Registry Editor Version 5.00"), QString()} + lines)
        .join(QStringLiteral("\r\n"))
        .append(QStringLiteral("\r\n"))
        .toUtf8();
}

// The hex form of a UTF-16 string value with its terminator, as the registry editor writes it.
inline QString hexOfText(const QString& text) {
    const RegValue v = RegValue::fromString(text);
    QStringList bytes;
    for (const char b : v.data) {
        bytes.append(QStringLiteral("%1").arg(static_cast<quint8>(b), 2, 16, QChar(u'0')));
    }
    return bytes.join(u',');
}

inline const QString kMainKey = QStringLiteral("[HKEY_CURRENT_USER\\Software\\QEV\\MainForm]");
inline const QString kListKey =
    QStringLiteral("[HKEY_CURRENT_USER\\Software\\QEV\\MainForm\\ListBox1_Items]");

class RadioGroupDouble : public QObject {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ itemIndex WRITE setItemIndex)
public:
    using QObject::QObject;
    int itemIndex() const { return index_; }
    void setItemIndex(int index) { index_ = qBound(-1, index, 7); }

private:
    int index_ = 0;
};

class ListBoxDouble : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ items WRITE setItems)
public:
    using QObject::QObject;
    QStringList items() const { return items_; }
    void setItems(const QStringList& items) {
        items_ = items;
        ++assignments;
    }
    int assignments = 0;

private:
    QStringList items_;
};

inline QStringList defaultZones() {
    QStringList lines;
    for (int i = 1; i <= 16; ++i) {
        lines.append(QStringLiteral("Zone %1  +00:00  0:No DST,24 hr").arg(i, 2, 10, QChar(u'0')));
    }
    return lines;
}

// Stands in for the main window, wired to the form storage exactly as the real one is.
class WindowDouble : public QObject {
    Q_OBJECT
public:
    explicit WindowDouble(const QString& settingsFile)
        : WindowDouble(std::make_unique<RegFileBackend>(settingsFile)) {}
    explicit WindowDouble(std::unique_ptr<SettingsBackend> backend) {
        setObjectName(QStringLiteral("MainForm"));
        radio = new RadioGroupDouble(this);
        radio->setObjectName(QStringLiteral("RadioGroup1"));
        auto* group = new QObject(this);
        group->setObjectName(QStringLiteral("GroupBox2"));
        list = new ListBoxDouble(group);
        list->setObjectName(QStringLiteral("ListBox1"));
        list->setItems(defaultZones());
        list->assignments = 0;

        SettingsStore1 = new TSettingsStore(std::move(backend), this);
        SettingsStore1->setObjectName(QStringLiteral("SettingsStore1"));
        FormStorage1 = new TFormStorage(this);
        FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
        FormStorage1->setAppStorage(SettingsStore1);
        FormStorage1->setStoredProps(
            {QStringLiteral("RadioGroup1.ItemIndex"), QStringLiteral("ListBox1.Items")});
        FormStorage1->setErrorReporter([sink = reported](std::exception_ptr error) {
            try {
                std::rethrow_exception(error);
            } catch (const Exception& e) {
                sink->append(e.message());
            }
        });
        FormStorage1->loaded();
        FormStorage1->installHooks();
    }
    ~WindowDouble() override { FormStorage1->onDestroy(); }

    void show() {
        QEvent event(QEvent::Show);
        QCoreApplication::sendEvent(this, &event);
    }
    bool close() {
        bool canClose = true;
        FormStorage1->onCloseQuery(canClose);
        return canClose;
    }

    RadioGroupDouble* radio = nullptr;
    ListBoxDouble* list = nullptr;
    TSettingsStore* SettingsStore1 = nullptr;
    TFormStorage* FormStorage1 = nullptr;
    // Outlives the window, so that what its destruction reports can still be looked at.
    std::shared_ptr<QStringList> reported = std::make_shared<QStringList>();
};

}  // namespace qev::test

#pragma once
// TFormStorage: saves and restores chosen properties of a window's controls through a
// TSettingsStore, restoring at the window's first showing and saving when it closes.
//
// Wiring, in the window's constructor after its controls exist and have their object names:
//     FormStorage1->setAppStorage(SettingsStore1);
//     FormStorage1->setStoredProps({"RadioGroup1.ItemIndex", "ListBox1.Items"});
//     FormStorage1->setErrorReporter(...);   // the application error display
//     FormStorage1->loaded();
//     FormStorage1->installHooks();          // the first QEvent::Show runs onShow()
// The hooks report errors and notices to the reporter; without one they rethrow, which must not
// happen inside an event filter or a destructor, so the window always sets one.
// Closing and destruction cannot be hooked from outside: a filter sees the close before the
// window has decided, and QObject::destroyed comes after the child widgets are gone. So the
// window calls:
//     closeEvent:  bool canClose = <own decision>; FormStorage1->onCloseQuery(canClose);
//     destructor:  FormStorage1->onDestroy();   // first statement, while the controls exist

#include "settings/settings_store.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>

namespace qev {

class TFormStorage : public QObject {
    Q_OBJECT

public:
    using ErrorReporter = std::function<void(std::exception_ptr)>;

    // The owner is the window whose controls are stored; it is also the QObject parent.
    explicit TFormStorage(QObject* owner);

    // The settings in force: the path below the store, in which "%FORM_NAME%" stands for the
    // owner's object name; the version written as FormVersion.
    static constexpr QLatin1StringView kAppStoragePath{"%FORM_NAME%\\"};
    static constexpr QLatin1StringView kVersionName{"FormVersion"};
    static constexpr int kVersion = 0;
    // The check a stored version must pass to be restored, "greater or equal": a missing one
    // reads as 0 and passes, a negative one fails.
    static constexpr bool restoresVersion(qint32 stored) { return stored >= kVersion; }

    TSettingsStore* AppStorage() const { return appStorage_; }
    void setAppStorage(TSettingsStore* store) { appStorage_ = store; }
    // "Component.Property" entries; after loaded(), built from the linked components' names.
    QStringList StoredProps() const;
    void setStoredProps(const QStringList& entries);

    // Where errors of the hooks and the store's notices go; without one they are rethrown.
    void setErrorReporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }

    // The hooks act only while active (a window closed without saving turns it off).
    bool Active() const { return active_; }
    void setActive(bool active) { active_ = active; }

    // The owner has built its controls: resolve the form path, and link each entry to the
    // owner's descendant of that name, dropping entries that cannot be split or linked.
    void loaded();
    void installHooks();

    void onShow();
    void onCloseQuery(bool& canClose);
    void onDestroy();

    // These raise store errors to the caller; the hooks report them.
    void RestoreFormPlacement();
    void SaveFormPlacement();
    void StoreObjectsProps(QObject* owner, const QStringList& entries);
    // Every error is discarded: a property that cannot be loaded keeps its value.
    void LoadObjectsProps(QObject* owner, const QStringList& entries);

    bool restored() const { return restored_; }
    bool saved() const { return saved_; }
    // The resolved form path, "MainForm\" for the main window.
    QString formPath();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Link {
        QPointer<QObject> component;
        QString property;
    };
    struct Target {
        QObject* component = nullptr;
        QString propertyName;  // as declared, for the value name
        QString path;
    };

    void resolvePath();
    bool split(const QString& entry, QString& component, QString& property) const;
    bool target(QObject* owner, const QString& entry, Target& out);
    // Runs a save or restore for a hook: its notices and any error go to the reporter.
    void runHook(void (TFormStorage::*sequence)());
    void report(std::exception_ptr error);
    void reportNotices();

    QPointer<TSettingsStore> appStorage_;
    QString appStoragePath_ = kAppStoragePath;
    QStringList storedProps_;
    QList<Link> links_;
    bool linked_ = false;
    bool restored_ = false;
    bool saved_ = false;
    bool showSeen_ = false;
    bool active_ = true;
    ErrorReporter reporter_;
};

}  // namespace qev

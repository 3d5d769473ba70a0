#pragma once
// The question a port open asks when no port number is configured. The dialog that answers it
// lives in the Widgets part; tests answer it directly.

#include <QString>
#include <QStringList>

namespace qev {

class PortPrompt {
public:
    enum Result { Ok = 1, Cancel = 2, Abort = 3 };

    virtual ~PortPrompt() = default;

    // Shows the choice modally with these items ("COM1", "COM3", ...), the first one selected.
    // Returns the modal result (Ok, Cancel from the close button, Abort from the Cancel button)
    // and, on Ok, the selected item's text (empty when nothing is selected) in selectedText.
    virtual int exec(const QStringList& items, QString& selectedText) = 0;
    // The same, with what each item is (descriptions: one per item, "FTDI FT232R USB UART
    // (A1B2C3)"), for the dialog to show with its items. A prompt that has no room for them
    // leaves them out.
    virtual int execDescribed(const QStringList& items, const QStringList& descriptions,
                              QString& selectedText) {
        Q_UNUSED(descriptions);
        return exec(items, selectedText);
    }
};

}  // namespace qev

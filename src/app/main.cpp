// QEV: configures a clock device on a serial port.

#include "app/application.h"
#include "app/mainform_u.h"
#include "app/setzone.h"

int main(int argc, char** argv) {
    qev::Application app(argc, argv);
    qev::TMainForm mainForm;      // FormCreate fills the date and time fields
    qev::TdlgSetZone dlgSetZone;  // hidden until the first edit, reused for every one
    mainForm.setZoneEditor(&dlgSetZone);
    mainForm.show();  // the first showing restores the stored settings
    return app.exec();
}

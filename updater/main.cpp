#include "updater/UpdateSeams.h"
#include "updater/frmUpdate.h"
#include "updater/modUpdate.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The window is never shown, and closing the question box must not end the program
    // before the timer does.
    app.setQuitOnLastWindowClosed(false);

    MessageQuestionBox questionBox;
    DesktopUrlOpener urlOpener;
    frmUpdate form(modUpdate::CommandLineText(QCoreApplication::arguments()), questionBox, urlOpener);
    QObject::connect(&form, &frmUpdate::unloaded, &app, &QCoreApplication::quit);
    QTimer::singleShot(0, &form, &frmUpdate::load);
    return app.exec();
}

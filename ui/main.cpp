#include "config/Startup.h"
#include "config/modGlobal.h"
#include "ui/ProgramStartup.h"
#include "ui/TitleFit.h"
#include "ui/frmMain.h"
#include "ui/modAppIcon.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TessaroLite"));
    // On Wayland the desktop finds the window's name and icon by the installed desktop entry.
    QGuiApplication::setDesktopFileName(QLatin1String(modGlobal::DesktopEntryName));
    // The program ends when the main window is unloaded, not when its last window disappears:
    // in the notification area the main window is hidden while a question may be open.
    QApplication::setQuitOnLastWindowClosed(false);
    TitleFit::FitEveryWindow();
    // Every window carries the program's icon from its first show, the first start's
    // language dialog too, which opens before the main window sets it.
    QApplication::setWindowIcon(modAppIcon::LoadIconResource(QStringLiteral("AAA")));

    ProgramStartup startup(QApplication::arguments().mid(1));
    Startup::Main(startup);
    frmMain *window = startup.mainWindow();
    if (!window)
        return 0;
    QObject::connect(window, &frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return QApplication::exec();
}

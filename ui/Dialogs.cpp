#include "ui/Dialogs.h"

#include "ui/dlgAbout.h"
#include "ui/dlgLangSelect.h"
#include "ui/dlgOptionen.h"
#include "ui/frmMain.h"

namespace Dialogs
{

void ShowLanguageSelect()
{
    dlgLangSelect dialog;
    dialog.exec();
}

void ShowAbout(frmMain &mainWindow)
{
    dlgAbout dialog(mainWindow);
    dialog.exec();
}

void ShowOptions(frmMain &mainWindow)
{
    dlgOptionen dialog(mainWindow);
    dialog.exec();
}

} // namespace Dialogs

#include "ui/Dialogs.h"

#include "ui/dlgAbout.h"
#include "ui/dlgLangSelect.h"

namespace Dialogs
{

void ShowLanguageSelect()
{
    dlgLangSelect dialog;
    dialog.exec();
}

void ShowAbout(QWidget &owner)
{
    dlgAbout dialog(owner);
    dialog.exec();
}

void ShowOptions(const dlgOptionen::Owner &owner)
{
    dlgOptionen dialog(owner);
    dialog.exec();
}

} // namespace Dialogs

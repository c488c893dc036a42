#include "ui/Dialogs.h"

// The dialogs are not part of the program yet: the buttons that open them do nothing, and
// the first start leaves the language unchosen (every text then reads empty).
namespace Dialogs
{

void ShowLanguageSelect()
{
}

void ShowAbout(frmMain &)
{
}

void ShowOptions(frmMain &)
{
}

} // namespace Dialogs

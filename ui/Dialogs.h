#pragma once

class frmMain;

// The dialogs that the main program opens on demand. Each is created, shown modally and
// unloaded when it closes.
namespace Dialogs
{

// The first start's language choice, without an owner window. Leaves the language unchosen
// when the user closes it without a choice.
void ShowLanguageSelect();

// The about dialog, over the main window.
void ShowAbout(frmMain &mainWindow);

// The options dialog; after saving it refreshes the main window itself (LoadLanguage,
// SetMessages).
void ShowOptions(frmMain &mainWindow);

} // namespace Dialogs

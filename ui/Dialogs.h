#pragma once

#include "ui/dlgOptionen.h"

class QWidget;

// The dialogs that the main program opens on demand. Each is created, shown modally and
// unloaded when it closes.
namespace Dialogs
{

// The first start's language choice, without an owner window. Leaves the language unchosen
// when the user closes it without a choice.
void ShowLanguageSelect();

// The about dialog, over the window it belongs to.
void ShowAbout(QWidget &owner);

// The options dialog; after saving it refreshes its owner itself.
void ShowOptions(const dlgOptionen::Owner &owner);

} // namespace Dialogs

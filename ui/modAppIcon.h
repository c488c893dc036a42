#pragma once

#include <QIcon>
#include <QString>

class QWidget;

// The application icon of the windows, and the report of a missing one.
namespace modAppIcon
{

// Title of the error box of SetIcon: the program's own name.
inline constexpr const char *ProgramTitle = "TessaroLite";

// The icon resource of that name (every picture under ":/icons/<name>/"); a null icon when
// the program has no such resource.
QIcon LoadIconResource(const QString &iconName);

// The picture of an icon or bitmap file, read once and then kept (a blinking button shows
// the same two files for as long as the schedule runs); a null icon when it cannot be read.
QIcon PictureFile(const QString &path);

// Gives the window, and the window at the top of its parent chain, the icon of the resource.
// With setAsApplicationIcon the icon also becomes the application's icon (the one every
// window without its own shows). A missing resource is reported in two boxes, one per icon
// size, and the window goes on without an icon.
void SetIcon(QWidget *window, const QString &iconName, bool setAsApplicationIcon);

// The last OS error (errno) as "Error Number: " n CR LF "Error Description: " text, or empty
// text when there is none.
QString LastDllErrorText();

} // namespace modAppIcon

#pragma once

#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

// Window services: the application icon of a window, and placing a dialog centred over its
// parent.
namespace modAppIcon
{

// Title of the error box of SetIcon: the program's own name.
inline constexpr const char *ProgramTitle = "TessaroLite";

// The icon resource of that name (every picture under ":/icons/<name>/"); a null icon when
// the program has no such resource.
QIcon LoadIconResource(const QString &iconName);

// Gives the window, and the window at the top of its parent chain, the icon of the resource.
// With setAsApplicationIcon the icon also becomes the application's icon (the one every
// window without its own shows). A missing resource is reported in two boxes, one per icon
// size, and the window goes on without an icon.
void SetIcon(QWidget *window, const QString &iconName, bool setAsApplicationIcon);

// The last OS error (errno) as "Error Number: " n CR LF "Error Description: " text, or empty
// text when there is none.
QString LastDllErrorText();

// The top-left corner that centres a form of outer size formSize over a parent's outer
// rectangle; halves round to even and a negative coordinate becomes 0.
QPoint CenteredOver(const QSize &formSize, const QRect &parentFrame);
// The same on a screen, without the limit at 0.
QPoint CenteredOnScreen(const QSize &formSize, const QRect &screen);

// Moves the form (by its outer rectangle) to the middle of the parent, or of the form's
// screen when there is no parent. The size stays.
void CenterForm(QWidget *form, const QWidget *parent);

} // namespace modAppIcon

#pragma once

#include <QString>
#include <functional>

class QWidget;

// A caption that fits where Qt draws the title bar itself (on Wayland desktops without
// server-side decorations, such as GNOME and weston): that bar centres the title between its
// buttons and cuts what does not fit, so a long caption loses its end, where the countdown is.
namespace TitleFit
{

// The caption, or without its product prefix when only that fits, or cut with an ellipsis.
// width measures a text; room is the width the title may take.
QString Fitted(const QString &caption, const QString &prefix, int room,
    const std::function<int(const QString &)> &width);

// The caption as the window's title bar can show it; unchanged where the desktop draws the bar.
QString ForWindow(const QWidget &window, const QString &caption, const QString &prefix);

// Fits the titles of all the program's windows, whenever one is shown or given a new title.
// Only on Wayland, where Qt may draw the bar; the windows' own titles stay what they set.
void FitEveryWindow();

// The title a window was given, before it was fitted.
QString CaptionOf(const QWidget &window);

} // namespace TitleFit

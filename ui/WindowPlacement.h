#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where windows go: the main window in the middle of its screen's free area, a dialog in the
// middle of the window it belongs to, each by its outer frame.
namespace WindowPlacement
{

// The top-left corner that centres a form of outer size formSize over a parent's outer
// rectangle; halves round to even and a negative coordinate becomes 0.
QPoint CenteredOver(const QSize &formSize, const QRect &parentFrame);
// The same on a screen, without the limit at 0.
QPoint CenteredOnScreen(const QSize &formSize, const QRect &screen);

// Moves the form (by its outer rectangle) to the middle of the parent, or of the free area of
// the form's screen (without panels) when there is no parent. The size stays. Before the
// window manager has put its frame around a new window, the frame is taken to be the last
// one seen, and the form is placed once more as soon as its own frame is known.
void CenterForm(QWidget *form, const QWidget *parent);

} // namespace WindowPlacement

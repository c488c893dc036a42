#pragma once

#include <QMargins>
#include <optional>

class QWidget;

// The frame that the window manager of an X11 desktop draws around a window, as it states it
// itself (_NET_FRAME_EXTENTS). Qt reads it only when the window is configured, so that its
// idea of the frame stays empty when the frame came a moment later.
namespace FrameExtents
{

// Whether windows here are X11 windows whose frames can be asked for.
bool Available();

// The frame of a window that the window manager has framed; nothing before it has, or where
// windows are not X11 windows.
std::optional<QMargins> Of(const QWidget *window);

} // namespace FrameExtents

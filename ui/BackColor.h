#pragma once

#include <QColor>
#include <QPalette>
#include <optional>

// The background colour that the user chose with F11/F12 in the main window, as the windows
// paint it.
namespace BackColor
{

// A stored colour value: with the top bit set a system colour by its low byte, otherwise
// red, green and blue in the low three bytes, red lowest. Absent for a system colour that
// has no counterpart here.
std::optional<QColor> ColorFromValue(qint32 value, const QPalette &systemPalette);

// The per-user "BGColor"; absent while none is chosen or when it names no colour.
std::optional<QColor> StoredBackColor(const QPalette &systemPalette);

// The colour of text on the background: the theme's text colour where it reads well there,
// otherwise black or white, whichever stands out more. (A dark theme's light text on the
// white of F11 would not be seen.)
QColor TextColorOn(const QColor &background, const QColor &themeText);

// The palette with the background as its window colour and, for the labels, option buttons
// and check boxes on it, the text colour that reads there; disabled ones are greyed halfway
// to the background.
QPalette WithBackColor(QPalette palette, const QColor &background, const QPalette &themePalette);

} // namespace BackColor

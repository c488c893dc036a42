#pragma once

class QWidget;

// Window measures in twips (1/1440 inch), as the fixed layouts are given, turned into pixels
// at the widget's logical DPI: 15 twips per pixel at 96 dpi.
namespace Twips
{

inline constexpr int PerInch = 1440;
// The DPI at which the forms' pixel positions are drawn.
inline constexpr int FormDpi = 96;

int ToPixelsX(int twips, const QWidget *widget);
int ToPixelsY(int twips, const QWidget *widget);

// The forms hold pixel positions at 96 dpi; on a screen with another logical DPI every child
// is moved and sized in proportion, so that the twips stay true.
void FitFormToDpi(QWidget *form);

} // namespace Twips

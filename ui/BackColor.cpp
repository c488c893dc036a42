#include "ui/BackColor.h"

#include "config/modRegistry.h"

#include <algorithm>
#include <cmath>

namespace BackColor
{

namespace
{

// System colour indexes (the low byte of a colour value with the top bit set) and the
// palette roles that play their part here.
std::optional<QPalette::ColorRole> systemColorRole(int index)
{
    switch (index) {
    case 4: // menu
        return QPalette::Window;
    case 5: // window background
        return QPalette::Base;
    case 8: // window text
        return QPalette::Text;
    case 13: // highlight
        return QPalette::Highlight;
    case 14: // highlighted text
        return QPalette::HighlightedText;
    case 15: // button face
        return QPalette::Button;
    case 16: // button shadow
        return QPalette::Dark;
    case 18: // button text
        return QPalette::ButtonText;
    case 20: // button highlight
        return QPalette::Light;
    case 22: // 3-D light
        return QPalette::Midlight;
    case 23: // tooltip text
        return QPalette::ToolTipText;
    case 24: // tooltip background
        return QPalette::ToolTipBase;
    default:
        return std::nullopt;
    }
}

// Relative luminance and contrast ratio as the accessibility guidelines for the web define
// them; 4.5 is their least contrast for normal text.
constexpr double ReadableContrast = 4.5;

double luminance(const QColor &color)
{
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double contrast(const QColor &one, const QColor &other)
{
    const double a = luminance(one);
    const double b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor halfway(const QColor &from, const QColor &to)
{
    return QColor(
        (from.red() + to.red()) / 2, (from.green() + to.green()) / 2, (from.blue() + to.blue()) / 2);
}

} // namespace

std::optional<QColor> ColorFromValue(qint32 value, const QPalette &systemPalette)
{
    const quint32 bits = static_cast<quint32>(value);
    if (bits & 0x80000000u) {
        const std::optional<QPalette::ColorRole> role = systemColorRole(int(bits & 0xffu));
        if (!role)
            return std::nullopt;
        return systemPalette.color(QPalette::Active, *role);
    }
    return QColor(int(bits & 0xffu), int((bits >> 8) & 0xffu), int((bits >> 16) & 0xffu));
}

std::optional<QColor> StoredBackColor(const QPalette &systemPalette)
{
    const std::optional<qint32> value = modRegistry::ReadBackColor();
    if (!value)
        return std::nullopt;
    return ColorFromValue(*value, systemPalette);
}

QColor TextColorOn(const QColor &background, const QColor &themeText)
{
    if (contrast(themeText, background) >= ReadableContrast)
        return themeText;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrast(black, background) >= contrast(white, background) ? black : white;
}

QPalette WithBackColor(QPalette palette, const QColor &background, const QPalette &themePalette)
{
    const QColor text = TextColorOn(background, themePalette.color(QPalette::Active, QPalette::WindowText));
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Active, QPalette::WindowText, text);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, text);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, halfway(text, background));
    return palette;
}

} // namespace BackColor

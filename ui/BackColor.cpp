#include "ui/BackColor.h"

#include "config/modRegistry.h"

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

} // namespace BackColor

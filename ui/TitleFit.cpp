#include "ui/TitleFit.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace TitleFit
{

namespace
{

// Qt's title bar keeps about this much of each side for its buttons and the icon; the title is
// centred on the whole width.
constexpr int ButtonsRoom = 80;

bool qtDrawsTheTitleBar(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && handle
        && handle->frameMargins().top() > 0;
}

} // namespace

QString Fitted(
    const QString &caption, const QString &prefix, int room, const std::function<int(const QString &)> &width)
{
    if (width(caption) <= room)
        return caption;
    const QString rest = caption.startsWith(prefix) ? caption.mid(prefix.size()) : caption;
    if (width(rest) <= room)
        return rest;
    const QString ellipsis(QChar(0x2026));
    QString cut = rest;
    while (!cut.isEmpty() && width(cut + ellipsis) > room)
        cut.chop(1);
    return cut + ellipsis;
}

QString ForWindow(const QWidget &window, const QString &caption, const QString &prefix)
{
    if (!qtDrawsTheTitleBar(window))
        return caption;
    // The bar writes the title in the program's font, bold, whatever font the window's own
    // controls use.
    QFont font = QGuiApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int room = window.width() - 2 * ButtonsRoom;
    return Fitted(
        caption, prefix, room, [&](const QString &text) { return metrics.horizontalAdvance(text); });
}

} // namespace TitleFit

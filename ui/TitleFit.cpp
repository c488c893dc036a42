#include "ui/TitleFit.h"

#include "config/modGlobal.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
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

const char *const CaptionProperty = "tessaroCaption";

// Watches the top-level windows: a new title is kept as the caption, and the window shows
// the fitted one; a window that is shown (its title bar is known only then) is fitted anew.
class Fitter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::WindowTitleChange || type == QEvent::Show) && watched->isWidgetType()) {
            auto *window = static_cast<QWidget *>(watched);
            if (window->isWindow() && !m_fitting)
                fit(*window, type == QEvent::WindowTitleChange);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void fit(QWidget &window, bool newTitle)
    {
        if (newTitle || !window.property(CaptionProperty).isValid())
            window.setProperty(CaptionProperty, window.windowTitle());
        const QString fitted = ForWindow(
            window, CaptionOf(window), QLatin1String(modGlobal::ProductName) + QLatin1String(" - "));
        if (fitted == window.windowTitle())
            return;
        m_fitting = true;
        window.setWindowTitle(fitted);
        m_fitting = false;
    }

    bool m_fitting = false;
};

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

void FitEveryWindow()
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qApp->installEventFilter(new Fitter(qApp));
}

QString CaptionOf(const QWidget &window)
{
    const QVariant caption = window.property(CaptionProperty);
    return caption.isValid() ? caption.toString() : window.windowTitle();
}

} // namespace TitleFit

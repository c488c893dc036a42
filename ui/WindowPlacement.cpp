#include "ui/WindowPlacement.h"

#include "ui/FrameExtents.h"

#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace WindowPlacement
{

namespace
{

int roundHalfToEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

// The frame that the window manager put around the last window it framed: a window that is
// not framed yet will get one like it.
QMargins &lastFrameSeen()
{
    static QMargins margins;
    return margins;
}

QMargins frameOf(const QWidget *form)
{
    if (const std::optional<QMargins> stated = FrameExtents::Of(form))
        return *stated;
    const QRect outer = form->frameGeometry();
    const QRect inner = form->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom());
}

QMargins expectedFrameOf(const QWidget *form)
{
    const QMargins own = frameOf(form);
    if (!own.isNull())
        lastFrameSeen() = own;
    return own.isNull() ? lastFrameSeen() : own;
}

// The parent's outer rectangle as the window manager drew it.
QRect outerRectOf(const QWidget *parent)
{
    const std::optional<QMargins> stated = FrameExtents::Of(parent);
    return stated ? parent->geometry().marginsAdded(*stated) : parent->frameGeometry();
}

// The window itself goes where its frame leaves room for it: a position that includes the
// frame is taken differently by Qt before and after the window manager framed the window.
void moveFrameTo(QWidget *form, const QPoint &frameTopLeft, const QMargins &frame)
{
    QWindow *window = form->windowHandle();
    if (!window || !FrameExtents::Available()) {
        form->move(frameTopLeft);
        return;
    }
    // Without this a dialog would still centre itself by its own rule when it is shown.
    form->setAttribute(Qt::WA_Moved);
    window->setPosition(frameTopLeft + QPoint(frame.left(), frame.top()));
}

void place(QWidget *form, const QWidget *parent, const QMargins &frame)
{
    const QSize formSize = form->size().grownBy(frame);
    if (parent) {
        moveFrameTo(form, CenteredOver(formSize, outerRectOf(parent)), frame);
        return;
    }
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (screen)
        moveFrameTo(form, CenteredOnScreen(formSize, screen->availableGeometry()), frame);
}

// Asks for the frame of a window that is not framed yet until the window manager has drawn
// it, then places the window once more by that frame. It gives up after a while: a window
// manager may draw no frames at all.
class FrameWatch : public QObject
{
public:
    static void watch(QWidget *form, const QWidget *parent)
    {
        auto *watch = form->findChild<FrameWatch *>(QLatin1String(Name), Qt::FindDirectChildrenOnly);
        if (!watch)
            watch = new FrameWatch(form);
        watch->m_parent = parent;
        watch->m_onScreen = !parent;
        watch->m_ticks = 0;
        watch->m_allTicks = 0;
    }

protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_timer)
            return;
        auto *form = static_cast<QWidget *>(parent());
        const std::optional<QMargins> frame = FrameExtents::Of(form);
        // The wait counts from when the window is on screen: a window manager that is slow to
        // take a new window in maps it late, and frames it as it maps it.
        const QWindow *window = form->windowHandle();
        if (!frame && window && window->isExposed())
            ++m_ticks;
        if (!frame && form->isVisible() && m_ticks < MaximumTicks && ++m_allTicks < LastTick)
            return;
        killTimer(m_timer);
        deleteLater();
        if (!frame)
            return;
        lastFrameSeen() = *frame;
        if (m_onScreen || m_parent)
            place(form, m_parent.data(), *frame);
    }

private:
    static constexpr const char *Name = "tessaroFrameWatch";
    static constexpr int TickMs = 25;
    static constexpr int MaximumTicks = 80;
    // A window that never comes on screen is not watched for ever.
    static constexpr int LastTick = 2400;

    explicit FrameWatch(QWidget *form)
        : QObject(form)
        , m_timer(startTimer(TickMs))
    {
        setObjectName(QLatin1String(Name));
    }

    // A parent that is gone leaves the window where it is.
    QPointer<const QWidget> m_parent;
    bool m_onScreen = false;
    int m_timer = 0;
    int m_ticks = 0;
    int m_allTicks = 0;
};

} // namespace

QPoint CenteredOver(const QSize &formSize, const QRect &parentFrame)
{
    const double x = (parentFrame.width() - formSize.width()) / 2.0 + parentFrame.left();
    const double y = (parentFrame.height() - formSize.height()) / 2.0 + parentFrame.top();
    return QPoint(std::max(0, roundHalfToEven(x)), std::max(0, roundHalfToEven(y)));
}

QPoint CenteredOnScreen(const QSize &formSize, const QRect &screen)
{
    const double x = (screen.width() - formSize.width()) / 2.0 + screen.left();
    const double y = (screen.height() - formSize.height()) / 2.0 + screen.top();
    return QPoint(roundHalfToEven(x), roundHalfToEven(y));
}

void CenterForm(QWidget *form, const QWidget *parent)
{
    place(form, parent, expectedFrameOf(form));
    if (FrameExtents::Available() && !FrameExtents::Of(form))
        FrameWatch::watch(form, parent);
}

} // namespace WindowPlacement

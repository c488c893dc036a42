#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QWidget>
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

// The frame that the window manager put around the last window it framed.
QMargins &lastFrameSeen()
{
    static QMargins margins;
    return margins;
}

QMargins frameOf(const QWidget *form)
{
    const QRect outer = form->frameGeometry();
    const QRect inner = form->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom());
}

// A window that is not framed yet has no frame in Qt's eyes; it will get one like the others.
QMargins expectedFrameOf(const QWidget *form)
{
    const QMargins own = frameOf(form);
    if (!own.isNull())
        lastFrameSeen() = own;
    return own.isNull() ? lastFrameSeen() : own;
}

QSize outerSize(const QSize &inner, const QMargins &frame)
{
    return inner.grownBy(frame);
}

void place(QWidget *form, const QWidget *parent, const QMargins &frame)
{
    const QSize formSize = outerSize(form->size(), frame);
    if (parent) {
        form->move(CenteredOver(formSize, parent->frameGeometry()));
        return;
    }
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (screen)
        form->move(CenteredOnScreen(formSize, screen->availableGeometry()));
}

// Places the form once more when the window manager has framed it with another frame than
// the one it was placed with, then goes. A window that never gets a frame keeps it waiting.
class FrameWatch : public QObject
{
public:
    static void watch(QWidget *form, const QWidget *parent, const QMargins &assumed)
    {
        auto *watch = form->findChild<FrameWatch *>(QLatin1String(Name), Qt::FindDirectChildrenOnly);
        if (!watch)
            watch = new FrameWatch(form);
        watch->m_parent = parent;
        watch->m_onScreen = !parent;
        watch->m_assumed = assumed;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Move && event->type() != QEvent::Resize)
            return false;
        auto *form = static_cast<QWidget *>(watched);
        const QMargins frame = frameOf(form);
        if (frame.isNull())
            return false;
        lastFrameSeen() = frame;
        form->removeEventFilter(this);
        deleteLater();
        if (frame != m_assumed && (m_onScreen || m_parent))
            place(form, m_parent.data(), frame);
        return false;
    }

private:
    static constexpr const char *Name = "tessaroFrameWatch";

    explicit FrameWatch(QWidget *form)
        : QObject(form)
    {
        setObjectName(QLatin1String(Name));
        form->installEventFilter(this);
    }

    QPointer<const QWidget> m_parent;
    bool m_onScreen = false;
    QMargins m_assumed;
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
    const QMargins frame = expectedFrameOf(form);
    place(form, parent, frame);
    if (frameOf(form).isNull())
        FrameWatch::watch(form, parent, frame);
}

} // namespace WindowPlacement

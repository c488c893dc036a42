#include "ui/WindowPlacement.h"

#include <QGuiApplication>
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
    const QSize formSize = form->frameGeometry().size();
    if (parent) {
        form->move(CenteredOver(formSize, parent->frameGeometry()));
        return;
    }
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (screen)
        form->move(CenteredOnScreen(formSize, screen->geometry()));
}

} // namespace WindowPlacement

#include "ui/Twips.h"

#include <QWidget>
#include <cmath>

namespace Twips
{

namespace
{

int scaled(int value, double factor)
{
    return static_cast<int>(std::lround(value * factor));
}

void scaleChildren(QWidget *container, double fx, double fy)
{
    for (QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        const QRect g = child->geometry();
        child->setGeometry(
            scaled(g.x(), fx), scaled(g.y(), fy), scaled(g.width(), fx), scaled(g.height(), fy));
        scaleChildren(child, fx, fy);
    }
}

} // namespace

int ToPixelsX(int twips, const QWidget *widget)
{
    return static_cast<int>(std::lround(double(twips) * widget->logicalDpiX() / PerInch));
}

int ToPixelsY(int twips, const QWidget *widget)
{
    return static_cast<int>(std::lround(double(twips) * widget->logicalDpiY() / PerInch));
}

void FitFormToDpi(QWidget *form)
{
    const double fx = double(form->logicalDpiX()) / FormDpi;
    const double fy = double(form->logicalDpiY()) / FormDpi;
    if (fx == 1.0 && fy == 1.0)
        return;
    form->resize(scaled(form->width(), fx), scaled(form->height(), fy));
    scaleChildren(form, fx, fy);
}

} // namespace Twips

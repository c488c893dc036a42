#include "ui/Accessibility.h"

#include "ui/LogView.h"
#include "ui/LogViewAccessible.h"

#include <QAccessibleWidget>

namespace Accessibility
{

namespace
{

QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
    if (className == QLatin1String("LogView"))
        return new LogViewAccessible(static_cast<LogView *>(object));
    // A plain QWidget window is a "filler" to a screen reader, which then finds no window.
    if (className == QLatin1String("frmMain"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void InstallInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFor);
        return true;
    }();
    (void)installed;
}

} // namespace Accessibility

#include "ui/Seams.h"

#include "ui/DesktopNotification.h"
#include "ui/modFolder.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSpacerItem>
#include <QSystemTrayIcon>

namespace Seams
{

namespace
{

// The box takes the width of its text, and the title bar cuts a longer title: the box is made
// wide enough for its title in a bold letter, as title bars mostly use, with room for three
// buttons (squares about as high as the bar) on either side, as the title bar that Qt draws
// itself on Wayland centres the title over the whole width and cuts it at the buttons.
void makeRoomForTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    const int titleBarItems = 2 * 3 * (metrics.height() + 12);
    const int width = metrics.horizontalAdvance(box.windowTitle()) + titleBarItems;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
        1, grid->columnCount());
}

bool realAskYesNo(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    makeRoomForTitle(box);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void realShowMessage(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    makeRoomForTitle(box);
    box.exec();
}

QString realPickFolder(const FolderRequest &request)
{
    QString title = request.title;
    return modFolder::BrowseForFolder(title, request.initialFolder, request.owner, request.statusText,
        request.rootFolder, request.newStyle, request.includeFiles);
}

} // namespace

Seam<AskYesNoSignature> askYesNo(realAskYesNo);
Seam<ShowMessageSignature> showMessage(realShowMessage);
Seam<OpenUrlSignature> openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); });
Seam<NotifySignature> notify([](QSystemTrayIcon &icon, const QString &title, const QString &text) {
    icon.showMessage(title, text, QSystemTrayIcon::Warning);
});
Seam<TrayAvailableSignature> trayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
Seam<PickFolderSignature> pickFolder(realPickFolder);
Seam<DesktopFactsSignature> desktopFacts([] {
    DesktopFacts facts;
    facts.minimiseSeen = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    facts.statusNotifierTray = DesktopNotification::StatusNotifierTray();
    facts.notificationServer = DesktopNotification::ServerAvailable();
    return facts;
});

} // namespace Seams

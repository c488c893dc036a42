#include "ui/Seams.h"

#include "ui/modFolder.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QSystemTrayIcon>

namespace Seams
{

namespace
{

bool realAskYesNo(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void realShowMessage(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
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
Seam<TrayAvailableSignature> trayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
Seam<PickFolderSignature> pickFolder(realPickFolder);

} // namespace Seams

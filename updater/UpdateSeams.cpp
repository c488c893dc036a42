#include "updater/UpdateSeams.h"

#include <QDesktopServices>
#include <QMessageBox>

bool MessageQuestionBox::askYesNo(QWidget *owner, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void DesktopUrlOpener::open(const QUrl &address)
{
    QDesktopServices::openUrl(address);
}

#include "ui/CentredDialog.h"

#include "ui/WindowPlacement.h"

CentredDialog::CentredDialog(QWidget &owner)
    : QDialog(&owner)
    , m_owner(owner)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

void CentredDialog::CenterForm(const QWidget *parent)
{
    WindowPlacement::CenterForm(this, parent);
}

void CentredDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    CenterForm(&m_owner);
}

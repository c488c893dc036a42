#include "ui/PictureButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

PictureButton::PictureButton(QWidget *parent)
    : QPushButton(parent)
{
}

void PictureButton::setCaption(const QString &caption)
{
    setText(caption);
    QString plain = caption;
    plain.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(QLatin1Char('&'));
    setToolTip(plain.replace(QLatin1Char('\x01'), QLatin1Char('&')));
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
}

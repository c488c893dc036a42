#pragma once

#include <QPushButton>

// A command button that shows only its picture. The caption stays the button's text, so its
// "&" access key works, and it doubles as the tooltip.
class PictureButton : public QPushButton
{
    Q_OBJECT

public:
    explicit PictureButton(QWidget *parent = nullptr);

    void setCaption(const QString &caption);

protected:
    void paintEvent(QPaintEvent *event) override;
};

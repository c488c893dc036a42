#pragma once

#include <QDialog>

// A dialog that belongs to a window and stays in the middle of it: it is placed at every
// resize, its first display included. It has a title bar with a close button only.
class CentredDialog : public QDialog
{
    Q_OBJECT

public:
    // Places the dialog in the middle of parent (of the screen without one).
    void CenterForm(const QWidget *parent);

protected:
    explicit CentredDialog(QWidget &owner);

    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget &m_owner;
};

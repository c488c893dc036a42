#pragma once

#include "ui_dlgAbout.h"

#include <QDialog>

// The about box: the product picture, the version, a short description, the help page and
// the support address; the picture and the two addresses open the web site, the help page
// and a new e-mail.
class dlgAbout : public QDialog, private Ui_dlgAbout
{
    Q_OBJECT

public:
    // mainWindow: the window the dialog is centred over. The texts and the picture are in
    // place before the constructor returns.
    explicit dlgAbout(QWidget &mainWindow);

    // Places the dialog in the middle of parent (of the screen without one).
    void CenterForm(const QWidget *parent);

    // The description as shown: every sentence end ". " becomes "." and a line break.
    static QString InfoText(const QString &description);

    // ---- event handlers --------------------------------------------------------------------
    void cmdQuit_Click();
    void Image1_Click();
    void lblWeburl_Click();
    void lblSupport_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void setUpLinks();
    void Form_Load();
    void loadTexts();
    void loadPicture();

    QWidget &m_mainWindow;
};

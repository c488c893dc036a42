#pragma once

#include "ui/CentredDialog.h"

#include <memory>

// The about box: the product picture, the version, a short description, the help page and
// the support address; the picture and the two addresses open the web site, the help page
// and a new e-mail.
namespace Ui
{
class dlgAbout;
}

class dlgAbout : public CentredDialog
{
    Q_OBJECT

public:
    // mainWindow: the window the dialog is centred over. The texts and the picture are in
    // place before the constructor returns.
    explicit dlgAbout(QWidget &mainWindow);
    ~dlgAbout() override;

    // The description as shown: every sentence end ". " becomes "." and a line break.
    static QString InfoText(const QString &description);

    // ---- event handlers --------------------------------------------------------------------
    void cmdQuit_Click();
    void Image1_Click();
    void lblWeburl_Click();
    void lblSupport_Click();

private:
    std::unique_ptr<Ui::dlgAbout> m_ui;
    void setUpLinks();
    void Form_Load();
    void loadTexts();
    void loadPicture();
};

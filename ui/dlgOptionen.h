#pragma once

#include "ui_dlgOptionen.h"

#include <QColor>
#include <QDialog>
#include <QStringList>
#include <array>

class frmMain;

// The options: the six switches of the settings file that the main window does not show,
// and the language of the program. Each opening reads them afresh; Save writes them back
// and brings the main window up to date, Cancel and closing write nothing.
class dlgOptionen : public QDialog, private Ui_dlgOptionen
{
    Q_OBJECT

public:
    // mainWindow: the window the dialog is centred over and refreshes after saving. The
    // dialog loads its texts, languages and switches before it returns.
    explicit dlgOptionen(frmMain &mainWindow);

    // Puts the dialog's texts of the current language in place.
    void LoadLanguage();
    // Places the dialog in the middle of parent (of the screen without one).
    void CenterForm(const QWidget *parent);

    // ---- event handlers --------------------------------------------------------------------
    void dxCheck2_Change(bool checked);
    void cmdSave_Click();
    void cmdCancel_Click();

    // The language names offered, in the order the language folder listed them.
    const QStringList &languageNames() const { return LanguageNames; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Form_Load();
    void FillLanguageList();
    void loadSwitches();
    void ApplyBackColor();
    void saveSwitches();
    bool storeListedLanguage(const QString &language);
    void setLanguageText(const QString &language);

    frmMain &m_mainWindow;
    QStringList LanguageNames;
    std::array<QCheckBox *, 6> m_switches {};
    QColor m_designColor;
};

#pragma once

#include "ui/CentredDialog.h"

#include <QColor>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

// The options: the switches of the settings file that the main window does not show (the six
// first ones, runs on arrival and the log file), the settle time and the language of the
// program. Each opening reads them afresh; Save writes them back and brings the window it
// belongs to up to date, Cancel and closing write nothing. A button opens the log file.
class QCheckBox;
namespace Ui
{
class dlgOptionen;
}

class dlgOptionen : public CentredDialog
{
    Q_OBJECT

public:
    // The window the dialog belongs to: it is centred over it, and Save refreshes it.
    struct Owner {
        QWidget *window = nullptr;
        // The window takes the texts of the language that has just been stored.
        std::function<void()> loadLanguage;
        // The window redraws its captions; with true it also logs the language line.
        std::function<void(bool languageChanged)> setMessages;
        // Shows the log file in the desktop's viewer.
        std::function<void()> openLogFile;
    };

    // The dialog loads its texts, languages and switches before it returns.
    explicit dlgOptionen(const Owner &owner);
    ~dlgOptionen() override;

    // Puts the dialog's texts of the current language in place.
    void LoadLanguage();

    // ---- event handlers --------------------------------------------------------------------
    void dxCheck2_Change(bool checked);
    void cmdSave_Click();
    void cmdCancel_Click();
    void cmdLog_Click();

    // The language names offered, in the order the language folder listed them.
    const QStringList &languageNames() const { return LanguageNames; }

private:
    std::unique_ptr<Ui::dlgOptionen> m_ui;
    void Form_Load();
    void FillLanguageList();
    void loadSwitches();
    void ApplyBackColor();
    void saveSwitches();
    bool storeListedLanguage(const QString &language);
    void setLanguageText(const QString &language);

    Owner m_owner;
    QStringList LanguageNames;
    std::array<QCheckBox *, 6> m_switches {};
    QColor m_designColor;
};

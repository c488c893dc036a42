#include "ui/dlgOptionen.h"

#include "config/FrmMainTexts.h"
#include "config/LanguageList.h"
#include "config/Settings.h"
#include "config/Startup.h"
#include "config/modGlobal.h"
#include "ui/BackColor.h"
#include "ui/QtTranslations.h"

#include <QApplication>

namespace
{

using namespace FrmMainTexts;

// The captions of the boxes dxCheck1 to dxCheck6, which show Settings::OptionSwitches.
constexpr std::array<TextId, 6> SwitchTexts
    = {SaveQuestion, QuestionBox, RunOnStartBox, NoFreeSpaceCheckBox, DatePrefixBox, TrayBox};

} // namespace

dlgOptionen::dlgOptionen(const Owner &owner)
    : CentredDialog(*owner.window)
    , m_owner(owner)
{
    setupUi(this);
    m_switches = {dxCheck1, dxCheck2, dxCheck3, dxCheck4, dxCheck5, dxCheck6};
    m_designColor = palette().color(QPalette::Window);
    connect(dxCheck2, &QCheckBox::toggled, this, &dlgOptionen::dxCheck2_Change);
    connect(cmdSave, &QPushButton::clicked, this, &dlgOptionen::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &dlgOptionen::cmdCancel_Click);
    Form_Load();
}

void dlgOptionen::Form_Load()
{
    LoadLanguage();
    FillLanguageList();
    loadSwitches();
    // The box may already have held the stored state, so that no change was reported.
    dxCheck2_Change(dxCheck2->isChecked());
    ApplyBackColor();
}

void dlgOptionen::LoadLanguage()
{
    setWindowTitle(QLatin1String(modGlobal::ProductName) + QLatin1String(" - ")
        + Text(OptionsCaption).remove(QLatin1Char('&')));
    for (std::size_t box = 0; box < SwitchTexts.size(); ++box)
        m_switches[box]->setText(Text(SwitchTexts[box]));
    cmdCancel->setText(Text(CancelButton));
    cmdSave->setText(Text(SaveButton));
    Label1->setText(Text(LanguageLabel));
    // A screen reader names the list by the label above it, without its colon.
    dxCombo1->setAccessibleName(Text(LanguageLabel).remove(QLatin1Char(':')).trimmed());
}

void dlgOptionen::FillLanguageList()
{
    for (const QString &name : LanguageList::PlainLanguageList()) {
        dxCombo1->addItem(name);
        LanguageNames.append(name);
    }
    setLanguageText(Settings::languageInUse());
}

void dlgOptionen::setLanguageText(const QString &language)
{
    const int entry = dxCombo1->findText(language, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry >= 0)
        dxCombo1->setCurrentIndex(entry);
    dxCombo1->setEditText(language);
}

void dlgOptionen::loadSwitches()
{
    for (std::size_t box = 0; box < Settings::OptionSwitches.size(); ++box)
        m_switches[box]->setChecked(Settings::isOn(Settings::OptionSwitches[box]));
}

void dlgOptionen::ApplyBackColor()
{
    const std::optional<QColor> color = BackColor::StoredBackColor(QApplication::palette(this));
    if (!color)
        return;
    // The last two boxes paint their own background in the design colour; the other boxes
    // and the label take the dialog's.
    for (QCheckBox *box : {dxCheck5, dxCheck6}) {
        QPalette own = box->palette();
        own.setColor(QPalette::Window, m_designColor);
        box->setPalette(own);
        box->setAutoFillBackground(true);
    }
    QPalette dialogPalette = palette();
    dialogPalette.setColor(QPalette::Window, *color);
    setPalette(dialogPalette);
    Frame1->setAutoFillBackground(true);
}

void dlgOptionen::dxCheck2_Change(bool checked)
{
    // Saving without asking can only be chosen while the question is off.
    dxCheck1->setEnabled(!checked);
}

void dlgOptionen::cmdSave_Click()
{
    const QString chosen = dxCombo1->currentText();
    bool languageChanged = Settings::languageInUse() != chosen;
    saveSwitches();
    if (languageChanged)
        languageChanged = storeListedLanguage(chosen);
    if (languageChanged) {
        Startup::UseStoredLanguage();
        QtTranslations::UseLanguage(modGlobal::CurrentLanguage);
        m_owner.loadLanguage();
    }
    Startup::UseStoredLanguage();
    m_owner.setMessages(languageChanged);
    LanguageNames.clear();
    accept();
}

void dlgOptionen::saveSwitches()
{
    for (std::size_t box = 0; box < Settings::OptionSwitches.size(); ++box)
        Settings::writeSwitch(Settings::OptionSwitches[box].key, m_switches[box]->isChecked());
}

// Only a language that the folder offers is taken; a typed name that is not among them (an
// empty text too) leaves the stored language alone.
bool dlgOptionen::storeListedLanguage(const QString &language)
{
    if (!LanguageNames.contains(language, Qt::CaseSensitive))
        return false;
    Settings::storeLanguage(language);
    return true;
}

void dlgOptionen::cmdCancel_Click()
{
    reject();
}

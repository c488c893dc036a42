#include "ui/dlgOptionen.h"

#include "config/FrmMainTexts.h"
#include "config/LanguageList.h"
#include "config/Settings.h"
#include "config/Startup.h"
#include "config/modGlobal.h"
#include "ui/BackColor.h"
#include "ui/QtTranslations.h"
#include "ui_dlgOptionen.h"

#include <QApplication>

namespace
{

using namespace FrmMainTexts;

// The captions of the boxes m_ui->dxCheck1 to m_ui->dxCheck6, which show Settings::OptionSwitches.
constexpr std::array<TextId, 6> SwitchTexts
    = {SaveQuestion, QuestionBox, RunOnStartBox, NoFreeSpaceCheckBox, DatePrefixBox, TrayBox};

} // namespace

dlgOptionen::dlgOptionen(const Owner &owner)
    : CentredDialog(*owner.window)
    , m_ui(std::make_unique<Ui::dlgOptionen>())
    , m_owner(owner)
{
    m_ui->setupUi(this);
    m_switches
        = {m_ui->dxCheck1, m_ui->dxCheck2, m_ui->dxCheck3, m_ui->dxCheck4, m_ui->dxCheck5, m_ui->dxCheck6};
    m_designColor = palette().color(QPalette::Window);
    connect(m_ui->dxCheck2, &QCheckBox::toggled, this, &dlgOptionen::dxCheck2_Change);
    connect(m_ui->cmdSave, &QPushButton::clicked, this, &dlgOptionen::cmdSave_Click);
    connect(m_ui->cmdCancel, &QPushButton::clicked, this, &dlgOptionen::cmdCancel_Click);
    connect(m_ui->cmdLog, &QPushButton::clicked, this, &dlgOptionen::cmdLog_Click);
    Form_Load();
}

dlgOptionen::~dlgOptionen() = default;

void dlgOptionen::Form_Load()
{
    LoadLanguage();
    FillLanguageList();
    loadSwitches();
    // The box may already have held the stored state, so that no change was reported.
    dxCheck2_Change(m_ui->dxCheck2->isChecked());
    ApplyBackColor();
}

void dlgOptionen::LoadLanguage()
{
    setWindowTitle(QLatin1String(modGlobal::ProductName) + QLatin1String(" - ")
        + Text(OptionsCaption).remove(QLatin1Char('&')));
    for (std::size_t box = 0; box < SwitchTexts.size(); ++box)
        m_switches[box]->setText(Text(SwitchTexts[box]));
    m_ui->dxCheck7->setText(Text(RunOnArrivalBox));
    m_ui->Label2->setText(Text(SettleLabel));
    m_ui->dxSpin1->setAccessibleName(Text(SettleLabel).remove(QLatin1Char(':')).trimmed());
    m_ui->dxCheck8->setText(Text(LogFileBox));
    m_ui->cmdLog->setText(Text(OpenLogFile));
    m_ui->cmdCancel->setText(Text(CancelButton));
    m_ui->cmdSave->setText(Text(SaveButton));
    m_ui->Label1->setText(Text(LanguageLabel));
    // A screen reader names the list by the label above it, without its colon.
    m_ui->dxCombo1->setAccessibleName(Text(LanguageLabel).remove(QLatin1Char(':')).trimmed());
}

void dlgOptionen::FillLanguageList()
{
    for (const QString &name : LanguageList::PlainLanguageList()) {
        m_ui->dxCombo1->addItem(name);
        LanguageNames.append(name);
    }
    setLanguageText(Settings::languageInUse());
}

void dlgOptionen::setLanguageText(const QString &language)
{
    const int entry = m_ui->dxCombo1->findText(language, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry >= 0)
        m_ui->dxCombo1->setCurrentIndex(entry);
    m_ui->dxCombo1->setEditText(language);
}

void dlgOptionen::loadSwitches()
{
    for (std::size_t box = 0; box < Settings::OptionSwitches.size(); ++box)
        m_switches[box]->setChecked(Settings::isOn(Settings::OptionSwitches[box]));
    m_ui->dxCheck7->setChecked(Settings::isOn(Settings::RunOnArrivalBox));
    m_ui->dxSpin1->setRange(0, Settings::MostSettleSeconds);
    m_ui->dxSpin1->setValue(Settings::settleSeconds());
    m_ui->dxCheck8->setChecked(Settings::isOn(Settings::LogFileBox));
}

void dlgOptionen::ApplyBackColor()
{
    const std::optional<QColor> color = BackColor::StoredBackColor(QApplication::palette(this));
    if (!color)
        return;
    // The last two boxes paint their own background in the design colour; the other boxes
    // and the label take the dialog's.
    const QPalette theme = QApplication::palette(this);
    for (QCheckBox *box : {m_ui->dxCheck5, m_ui->dxCheck6}) {
        box->setPalette(BackColor::WithBackColor(box->palette(), m_designColor, theme));
        box->setAutoFillBackground(true);
    }
    setPalette(BackColor::WithBackColor(palette(), *color, theme));
    m_ui->Frame1->setAutoFillBackground(true);
}

void dlgOptionen::dxCheck2_Change(bool checked)
{
    // Saving without asking can only be chosen while the question is off.
    m_ui->dxCheck1->setEnabled(!checked);
}

void dlgOptionen::cmdSave_Click()
{
    const QString chosen = m_ui->dxCombo1->currentText();
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
    Settings::write(Settings::Key::SettleSeconds, QString::number(m_ui->dxSpin1->value()));
    Settings::writeSwitch(Settings::Key::LogFile, m_ui->dxCheck8->isChecked());
    Settings::writeSwitch(Settings::Key::RunOnArrival, m_ui->dxCheck7->isChecked());
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

void dlgOptionen::cmdLog_Click()
{
    if (m_owner.openLogFile)
        m_owner.openLogFile();
}

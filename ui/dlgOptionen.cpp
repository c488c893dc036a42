#include "ui/dlgOptionen.h"

#include "config/LanguageList.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "ui/BackColor.h"
#include "ui/frmMain.h"
#include "ui/modAppIcon.h"

#include <QApplication>

namespace
{

// The switches in the order of the boxes dxCheck1 to dxCheck6, which is also the order in
// which Save writes them.
struct Switch {
    const char *key;
    const char *defaultValue;
    int textId;
};

constexpr std::array<Switch, 6> Switches = {{
    {"Save", "1", 37},
    {"Question", "0", 39},
    {"DoActionOnStart", "0", 40},
    {"CheckDestination", "1", 50},
    {"ShowDateAndTime", "1", 60},
    {"SysTray", "1", 61},
}};

enum TextId { CaptionText = 38, CancelText = 41, SaveText = 42, LanguageLabelText = 43 };

const QString Options = QStringLiteral("Options");
const QString LanguageKey = QStringLiteral("Language");

QString languageText(int id)
{
    return modIniHandler::ReadLanguageText(
        QStringLiteral("frmMain"), QStringLiteral("t%1").arg(id), QString(), 256);
}

// The language as stored; "Deutsch" only when the settings file has no Language line.
QString storedLanguage()
{
    return modIniHandler::ReadSetting(Options, LanguageKey, QStringLiteral("Deutsch"), 256);
}

// A switch is on only when its text is the number 1; empty or other text is off.
bool isOn(const QString &value)
{
    bool isNumber = false;
    const double number = value.trimmed().toDouble(&isNumber);
    return isNumber && number == 1.0;
}

} // namespace

dlgOptionen::dlgOptionen(frmMain &mainWindow)
    : QDialog(&mainWindow)
    , m_mainWindow(mainWindow)
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
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
        + languageText(CaptionText).remove(QLatin1Char('&')));
    for (std::size_t box = 0; box < Switches.size(); ++box)
        m_switches[box]->setText(languageText(Switches[box].textId));
    cmdCancel->setText(languageText(CancelText));
    cmdSave->setText(languageText(SaveText));
    Label1->setText(languageText(LanguageLabelText));
}

void dlgOptionen::FillLanguageList()
{
    for (const QString &name : LanguageList::PlainLanguageList()) {
        dxCombo1->addItem(name);
        LanguageNames.append(name);
    }
    setLanguageText(storedLanguage());
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
    for (std::size_t box = 0; box < Switches.size(); ++box) {
        const QString value = modIniHandler::ReadSetting(
            Options, QLatin1String(Switches[box].key), QLatin1String(Switches[box].defaultValue), 256);
        m_switches[box]->setChecked(isOn(value));
    }
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

void dlgOptionen::CenterForm(const QWidget *parent)
{
    modAppIcon::CenterForm(this, parent);
}

void dlgOptionen::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    CenterForm(&m_mainWindow);
}

void dlgOptionen::dxCheck2_Change(bool checked)
{
    // Saving without asking can only be chosen while the question is off.
    dxCheck1->setEnabled(!checked);
}

void dlgOptionen::cmdSave_Click()
{
    const QString chosen = dxCombo1->currentText();
    bool languageChanged = storedLanguage() != chosen;
    saveSwitches();
    if (languageChanged)
        languageChanged = storeListedLanguage(chosen);
    if (languageChanged) {
        modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(storedLanguage());
        m_mainWindow.LoadLanguage();
    }
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(storedLanguage());
    modGlobal::CurrentLanguage = storedLanguage();
    m_mainWindow.SetMessages(languageChanged);
    LanguageNames.clear();
    accept();
}

void dlgOptionen::saveSwitches()
{
    for (std::size_t box = 0; box < Switches.size(); ++box)
        modIniHandler::WriteSetting(Options, QLatin1String(Switches[box].key),
            m_switches[box]->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

// Only a language that the folder offers is taken; a typed name that is not among them (an
// empty text too) leaves the stored language alone.
bool dlgOptionen::storeListedLanguage(const QString &language)
{
    if (!LanguageNames.contains(language, Qt::CaseSensitive))
        return false;
    modIniHandler::WriteSetting(Options, LanguageKey, language);
    return true;
}

void dlgOptionen::cmdCancel_Click()
{
    reject();
}

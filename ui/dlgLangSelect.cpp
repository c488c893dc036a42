#include "ui/dlgLangSelect.h"

#include "config/DlgLangSelectTexts.h"
#include "config/LanguageList.h"
#include "config/Settings.h"
#include "config/modGlobal.h"
#include "fs/modFSO.h"
#include "ui/WindowPlacement.h"
#include "ui_dlgLangSelect.h"

namespace
{

const QString PresetLanguage = QStringLiteral("English");

QString productName()
{
    return QLatin1String(modGlobal::ProductName);
}

using namespace DlgLangSelectTexts;

} // namespace

dlgLangSelect::dlgLangSelect(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::dlgLangSelect>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lblMsg = {m_ui->lblMsg_0, m_ui->lblMsg_1};
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &dlgLangSelect::cmdOK_Click);
    Form_Load();
}

dlgLangSelect::~dlgLangSelect() = default;

void dlgLangSelect::Form_Load()
{
    FillLanguageList();
    // The preset speaks its own language, where its file is there; otherwise the dialog
    // keeps the texts it was designed with rather than turning blank before any choice.
    if (modFSO::FileExists(modGlobal::LanguageFileFor(m_ui->dxLanguage->currentText())))
        dxLanguage_Change();
    connect(m_ui->dxLanguage, &QComboBox::editTextChanged, this, &dlgLangSelect::dxLanguage_Change);
}

// The first window of the program stands in the middle of the screen, as the main window
// will after it.
void dlgLangSelect::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    WindowPlacement::CenterForm(this, nullptr);
}

void dlgLangSelect::FillLanguageList()
{
    m_ui->dxLanguage->addItems(LanguageList::FilteredLanguageList());
    const int preset = m_ui->dxLanguage->findText(PresetLanguage, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (preset >= 0)
        m_ui->dxLanguage->setCurrentIndex(preset);
    m_ui->dxLanguage->setEditText(PresetLanguage);
    setWindowTitle(productName() + QLatin1String(" - Welcome"));
}

void dlgLangSelect::dxLanguage_Change()
{
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(m_ui->dxLanguage->currentText());
    setWindowTitle(productName() + QLatin1String(" - ") + Text(Caption));
    lblMsg[0]->setText(Text(Prompt));
    // A screen reader names the list by the prompt above it, without its colon.
    m_ui->dxLanguage->setAccessibleName(Text(Prompt).remove(QLatin1Char(':')).trimmed());
    lblMsg[1]->setText(Text(Hint));
    m_ui->cmdOK->setText(Text(OkButton));
}

void dlgLangSelect::cmdOK_Click()
{
    const QString picked = m_ui->dxLanguage->currentText();
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(picked);
    // The text goes in as it is, blanks and all; the file name above goes without them.
    Settings::storeLanguage(picked);
    accept();
}

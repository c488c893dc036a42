#include "ui/dlgLangSelect.h"

#include "config/DlgLangSelectTexts.h"
#include "config/LanguageList.h"
#include "config/Settings.h"
#include "config/modGlobal.h"
#include "fs/modFSO.h"
#include "ui/WindowPlacement.h"

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
{
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lblMsg = {lblMsg_0, lblMsg_1};
    connect(cmdOK, &QPushButton::clicked, this, &dlgLangSelect::cmdOK_Click);
    Form_Load();
}

void dlgLangSelect::Form_Load()
{
    FillLanguageList();
    // The preset speaks its own language, where its file is there; otherwise the dialog
    // keeps the texts it was designed with rather than turning blank before any choice.
    if (modFSO::FileExists(modGlobal::LanguageFileFor(dxLanguage->currentText())))
        dxLanguage_Change();
    connect(dxLanguage, &QComboBox::editTextChanged, this, &dlgLangSelect::dxLanguage_Change);
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
    dxLanguage->addItems(LanguageList::FilteredLanguageList());
    const int preset = dxLanguage->findText(PresetLanguage, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (preset >= 0)
        dxLanguage->setCurrentIndex(preset);
    dxLanguage->setEditText(PresetLanguage);
    setWindowTitle(productName() + QLatin1String(" - Welcome"));
}

void dlgLangSelect::dxLanguage_Change()
{
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(dxLanguage->currentText());
    setWindowTitle(productName() + QLatin1String(" - ") + Text(Caption));
    lblMsg[0]->setText(Text(Prompt));
    // A screen reader names the list by the prompt above it, without its colon.
    dxLanguage->setAccessibleName(Text(Prompt).remove(QLatin1Char(':')).trimmed());
    lblMsg[1]->setText(Text(Hint));
    cmdOK->setText(Text(OkButton));
}

void dlgLangSelect::cmdOK_Click()
{
    const QString picked = dxLanguage->currentText();
    modGlobal::LanguageFilePath = modGlobal::LanguageFileFor(picked);
    // The text goes in as it is, blanks and all; the file name above goes without them.
    Settings::storeLanguage(picked);
    accept();
}

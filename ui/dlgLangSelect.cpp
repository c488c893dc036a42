#include "ui/dlgLangSelect.h"

#include "config/LanguageList.h"
#include "config/modGlobal.h"
#include "config/modIniHandler.h"
#include "fs/modFSO.h"

namespace
{

const QString PresetLanguage = QStringLiteral("English");

QString productName()
{
    return QLatin1String(modGlobal::ProductName);
}

// The text without the blanks at its ends: the name of the language file.
QString withoutEndBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && text.at(first) == QLatin1Char(' '))
        ++first;
    while (end > first && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.sliced(first, end - first);
}

QString languageFileOf(const QString &pickedText)
{
    return modGlobal::LanguageFileFor(withoutEndBlanks(pickedText));
}

QString dialogText(int id)
{
    return modIniHandler::ReadLanguageText(
        QStringLiteral("dlgLangSelect"), QStringLiteral("t%1").arg(id), QString(), 256);
}

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
    if (modFSO::FileExists(languageFileOf(dxLanguage->currentText())))
        dxLanguage_Change();
    connect(dxLanguage, &QComboBox::editTextChanged, this, &dlgLangSelect::dxLanguage_Change);
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
    modGlobal::LanguageFilePath = languageFileOf(dxLanguage->currentText());
    setWindowTitle(productName() + QLatin1String(" - ") + dialogText(0));
    lblMsg[0]->setText(dialogText(1));
    lblMsg[1]->setText(dialogText(2));
    cmdOK->setText(dialogText(3));
}

void dlgLangSelect::cmdOK_Click()
{
    const QString picked = dxLanguage->currentText();
    modGlobal::LanguageFilePath = languageFileOf(picked);
    // The text goes in as it is, blanks and all; the file name above goes without them.
    modIniHandler::WriteSetting(QStringLiteral("Options"), QStringLiteral("Language"), picked);
    accept();
}

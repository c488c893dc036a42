#include "ui/ProgramStartup.h"

#include "config/modGlobal.h"
#include "ui/Dialogs.h"
#include "ui/QtTranslations.h"
#include "ui/frmMain.h"

ProgramStartup::ProgramStartup(QStringList arguments)
    : m_arguments(std::move(arguments))
{
}

ProgramStartup::~ProgramStartup() = default;

void ProgramStartup::showLanguageDialogModal()
{
    Dialogs::ShowLanguageSelect();
}

void ProgramStartup::showMainWindow()
{
    QtTranslations::UseLanguage(modGlobal::CurrentLanguage);
    if (!m_mainWindow)
        m_mainWindow = std::make_unique<frmMain>(m_arguments);
    m_mainWindow->show();
}

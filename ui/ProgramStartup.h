#pragma once

#include "config/Startup.h"

#include <QStringList>
#include <memory>

class frmMain;

// The real windows that start-up opens: the language dialog and the main window.
class ProgramStartup : public StartupHost
{
public:
    // arguments: the command line without the program name, for the main window.
    explicit ProgramStartup(QStringList arguments);
    ~ProgramStartup() override;

    void showLanguageDialogModal() override;
    void showMainWindow() override;

    // The main window once start-up has shown it.
    frmMain *mainWindow() const { return m_mainWindow.get(); }

private:
    QStringList m_arguments;
    std::unique_ptr<frmMain> m_mainWindow;
};

#pragma once

#include <QString>

// The windows that start-up opens. The program hands in the real dialogs; tests hand in
// stand-ins.
class StartupHost
{
public:
    virtual ~StartupHost() = default;

    // Creates the language dialog, shows it modally without an owner and unloads it.
    virtual void showLanguageDialogModal() = 0;
    // Creates the main window unless it exists and shows it without waiting.
    virtual void showMainWindow() = 0;
};

namespace Startup
{

// The per-user roaming application-data folder of the special-folder ids.
inline constexpr int CSIDL_APPDATA = 26;

// The program's start: prepares the settings folder and file, settles the language (asking
// for it while none is chosen), records version and language for the update launcher and
// opens the main window.
void Main(StartupHost &host);

// LanguageFilePath and CurrentLanguage after the stored language: the Language setting without
// the blanks at its ends, "Deutsch" when the key is missing altogether.
void UseStoredLanguage();

// What the update launcher gets as "Language": the first two characters of the language
// name in lower case ("English" gives "en").
QString LanguageCode(const QString &languageName);

} // namespace Startup

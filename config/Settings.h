#pragma once

#include <QString>
#include <array>
#include <optional>

// The keys of section [Options] of the settings file, and every place that reads one: the
// default that place passes (taken only when the key is missing) and the way it reads the
// text. The places read one key differently on purpose (the options dialog ticks a box only
// for the number 1, while closing the main window saves only for the text "1"), so each
// reading is a row of the table below. Nothing is cached: every read goes to the file.
namespace Settings
{

enum class Key {
    Save,
    Question,
    DoActionOnStart,
    CheckDestination,
    From,
    To,
    Interval,
    Action,
    ShowLog,
    Overwrite,
    Language,
    ShowDateAndTime,
    SysTray,
    SettleSeconds,
    LogFile,
    RunOnArrival,
};

struct KeyName {
    Key key;
    const char *name;
};

// The names in the file, in the order of Key (and of the default file).
inline constexpr std::array<KeyName, 16> KeyNames = {{
    {Key::Save, "Save"},
    {Key::Question, "Question"},
    {Key::DoActionOnStart, "DoActionOnStart"},
    {Key::CheckDestination, "CheckDestination"},
    {Key::From, "From"},
    {Key::To, "To"},
    {Key::Interval, "Interval"},
    {Key::Action, "Action"},
    {Key::ShowLog, "ShowLog"},
    {Key::Overwrite, "Overwrite"},
    {Key::Language, "Language"},
    {Key::ShowDateAndTime, "ShowDateAndTime"},
    {Key::SysTray, "SysTray"},
    {Key::SettleSeconds, "SettleSeconds"},
    {Key::LogFile, "LogFile"},
    {Key::RunOnArrival, "RunOnArrival"},
}};

// How a reading turns the stored text into what its reader needs.
enum class Rule {
    Text, // the text, cut to 255 characters
    WholeText, // the text, whatever its length: a cut folder path names another folder
    LanguageName, // the text without the blanks at its ends: it names a file
    TextIsOne, // on exactly when the text is "1"
    NumberIsOne, // on exactly when the text is a number equal to 1 (" 1", "1.0")
    NumberIsNotZero, // off exactly when the text is a number equal to 0; no number is on
    NumberIsZero, // on when the text is a number equal to 0; no number is on and is reported
    ZeroOrOne, // "0" off, "1" on; any other text leaves the reader's state as it is
    CopyOrMove, // "Copy" or "Move", case included; any other word leaves the state as it is
    Seconds, // a whole number of seconds, held to its range; no number gives the default
};

struct Reading {
    Key key;
    const char *defaultValue;
    Rule rule;
};

// The table: one row per key and reader.
// clang-format off
//                                             key                     default    rule
inline constexpr Reading SaveOnClosing        {Key::Save,             "0",       Rule::TextIsOne};
inline constexpr Reading SaveBox              {Key::Save,             "1",       Rule::NumberIsOne};
inline constexpr Reading QuestionOnClosing    {Key::Question,         "0",       Rule::TextIsOne};
inline constexpr Reading QuestionBox          {Key::Question,         "0",       Rule::NumberIsOne};
inline constexpr Reading RunOnStart           {Key::DoActionOnStart,  "0",       Rule::TextIsOne};
inline constexpr Reading RunOnStartBox        {Key::DoActionOnStart,  "0",       Rule::NumberIsOne};
// CheckDestination says the opposite of its name: "1" (any number but 0) means do NOT check.
inline constexpr Reading FreeSpaceCheckOfRun  {Key::CheckDestination, "0",       Rule::NumberIsZero};
inline constexpr Reading NoFreeSpaceCheckBox  {Key::CheckDestination, "1",       Rule::NumberIsOne};
inline constexpr Reading SourceFolder         {Key::From,             "",        Rule::WholeText};
inline constexpr Reading DestinationFolder    {Key::To,               "",        Rule::WholeText};
inline constexpr Reading IntervalList         {Key::Interval,         "5",       Rule::Text};
inline constexpr Reading ActionOption         {Key::Action,           "Copy",    Rule::CopyOrMove};
inline constexpr Reading ShowLogBox           {Key::ShowLog,          "0",       Rule::ZeroOrOne};
inline constexpr Reading OverwriteBox         {Key::Overwrite,        "0",       Rule::ZeroOrOne};
// Empty while the user has not chosen (start-up then asks); the default file has "Language=".
inline constexpr Reading LanguageChosen       {Key::Language,         "",        Rule::LanguageName};
inline constexpr Reading LanguageInUse        {Key::Language,         "Deutsch", Rule::LanguageName};
// The log, the schedule and the run.
inline constexpr Reading DatePrefix           {Key::ShowDateAndTime,  "1",       Rule::TextIsOne};
inline constexpr Reading DatePrefixBox        {Key::ShowDateAndTime,  "1",       Rule::NumberIsOne};
inline constexpr Reading TrayOnMinimise       {Key::SysTray,          "1",       Rule::NumberIsNotZero};
inline constexpr Reading TrayBox              {Key::SysTray,          "1",       Rule::NumberIsOne};
// How long a file that no lease can vouch for must stay unchanged before it is transferred.
inline constexpr Reading SettleTime           {Key::SettleSeconds,    "10",      Rule::Seconds};
// The log file: kept unless switched off.
inline constexpr Reading LogFileKept          {Key::LogFile,          "1",       Rule::NumberIsNotZero};
inline constexpr Reading LogFileBox           {Key::LogFile,          "1",       Rule::NumberIsOne};
inline constexpr Reading RunOnArrivalOfFiles  {Key::RunOnArrival,     "0",       Rule::TextIsOne};
inline constexpr Reading RunOnArrivalBox      {Key::RunOnArrival,     "0",       Rule::NumberIsOne};
// clang-format on

// The range of SettleSeconds.
inline constexpr int MostSettleSeconds = 3600;

// The switches of the options dialog, in the order of its boxes dxCheck1 to dxCheck6, which
// is also the order in which it writes them.
inline constexpr std::array<Reading, 6> OptionSwitches
    = {SaveBox, QuestionBox, RunOnStartBox, NoFreeSpaceCheckBox, DatePrefixBox, TrayBox};

QString name(Key key);

// The stored text as the reading takes it (Text, WholeText, LanguageName; the other rules
// give the text cut to 255 characters).
QString read(const Reading &reading);
// A switch (TextIsOne, NumberIsOne, NumberIsNotZero, NumberIsZero).
bool isOn(const Reading &reading);
// A two-word value (ZeroOrOne: "1"; CopyOrMove: "Move"); absent for any other text.
std::optional<bool> choice(const Reading &reading);

void write(Key key, const QString &value);
// A switch is stored as "1" or "0".
void writeSwitch(Key key, bool on);
// A two-word value as the reading knows it: "Move"/"Copy" or "1"/"0".
void writeChoice(const Reading &reading, bool on);

// ---- the readers' questions ----------------------------------------------------------------

// Closing the main window: ask whether to save its settings, or save them without asking.
inline bool askToSaveOnClosing()
{
    return isOn(QuestionOnClosing);
}
inline bool saveOnClosing()
{
    return isOn(SaveOnClosing);
}
// Minimising the main window puts it into the notification area.
inline bool trayWanted()
{
    return isOn(TrayOnMinimise);
}
// Starting the schedule runs the transfer at once.
inline bool runOnStart()
{
    return isOn(RunOnStart);
}
// Log lines begin with the date and the time.
inline bool datePrefixWanted()
{
    return isOn(DatePrefix);
}
// The interval in minutes as stored, "5" when the key is missing.
inline QString storedInterval()
{
    return read(IntervalList);
}

// Whether the transfer run checks the destination's free space before a file. A stored
// text that is no number cannot say "do not check", so the check runs; unreadable then holds
// the description of the error line that the run writes about it.
struct FreeSpaceCheck {
    bool wanted = true;
    QString unreadable;
};
FreeSpaceCheck freeSpaceCheckWanted();
// The same for a text that the caller read itself (as FreshSetting of FreeSpaceCheckOfRun).
FreeSpaceCheck freeSpaceCheckWanted(const QString &storedText);

// The language the user chose; empty while none is chosen.
inline QString chosenLanguage()
{
    return read(LanguageChosen);
}
// The language in use: the chosen one, "Deutsch" when the key is missing altogether.
inline QString languageInUse()
{
    return read(LanguageInUse);
}
// Stored as given, blanks and all.
void storeLanguage(const QString &language);

// Seconds a file must stay unchanged where no lease can say whether it is still written:
// 0 to MostSettleSeconds, 10 when the key is missing or holds no whole number.
int settleSeconds();
// The same for a text that the caller read itself.
int settleSecondsOf(const QString &storedText);
// Final log lines are also written to the log file.
inline bool logFileWanted()
{
    return isOn(LogFileKept);
}
// A started schedule also runs when files arrive in the source folder.
inline bool runOnArrival()
{
    return isOn(RunOnArrivalOfFiles);
}

} // namespace Settings

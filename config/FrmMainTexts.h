#pragma once

#include "config/LanguageCatalogue.h"

#include <array>

// The texts of section frmMain of the language files: those of the main window (its table,
// t0 to t38, which the schedule and the run use too), and those of the options and about
// dialogs, the log's language line and the main window's questions.
namespace FrmMainTexts
{

inline constexpr const char *Section = "frmMain";

enum TextId : int {
    // The main window's controls, the schedule and the run: the window's table.
    SourceHeading = 0,
    DestinationHeading = 1,
    IntervalHeading = 2,
    LogHeading = 3,
    MinuteWord = 4,
    MinutesWord = 5,
    MoveOption = 6,
    CopyOption = 7,
    OverwriteBox = 8,
    ShowLogBox = 9,
    ButtonStarted = 11, // "Stop"
    ButtonStopped = 12, // "Start"
    QuitCaption = 13,
    StateStarted = 14,
    StateRun = 15,
    StateStopped = 16,
    Remaining = 17,
    EmptyFolder = 18,
    EmptyFolderTail = 19,
    NoSpace = 20,
    NotMoved = 21,
    NotCopied = 22,
    Replaced = 23,
    Exists = 24,
    Copied = 25,
    Moved = 26,
    Copying = 27,
    Moving = 28,
    OneFile = 29,
    Files = 30,
    Cancelled = 31,
    ButtonRunning = 32,
    StartLine = 33,
    StopLine = 34,
    ErrorLabel = 35,
    SaveQuestionTitle = 36,
    SaveQuestion = 37, // also the options dialog's box for Save
    OptionsCaption = 38, // also the options dialog's caption, without "&"

    // The options dialog.
    QuestionBox = 39,
    RunOnStartBox = 40,
    CancelButton = 41,
    SaveButton = 42,
    LanguageLabel = 43,
    NoFreeSpaceCheckBox = 50,
    DatePrefixBox = 60,
    TrayBox = 61,

    // The log line of a language change: this text, a blank and the language.
    LanguageChangedLine = 44,

    // The about dialog.
    AboutCaption = 45,
    VersionLabel = 46,
    HelpPageLabel = 47,
    SupportLabel = 48,
    CloseButton = 49,
    FreewareLine = 51,
    Description = 52,

    // The main window's messages (its table Messages, index 0 is t54).
    HelpQuestion = 54,
    HelpQuestionTail = 55,
    QuitQuestion = 56,
    QuitQuestionTail = 57,
    TrayOpen = 58,
    TrayExit = 59,

    // The main window's further texts: tooltips and names of its picture buttons (the about
    // button takes t45), the reason of a refused interval, and what the notification area
    // tells of the last run.
    HelpButtonTip = 62,
    SourceButtonTip = 63,
    DestinationButtonTip = 64,
    IntervalRange = 65,
    RunErrorsTitle = 66,
    OneFileFailed = 67,
    FilesFailed = 68,
    LastRun = 69,
    LastRunClean = 70,
    LastRunWithErrors = 71,

    // What a run says of a file it left for the next run: the reason in brackets of a file
    // that another program still writes, and the error of one that changed while it was
    // copied or moved.
    InUse = 72,
    ChangedWhileCopied = 73,
    ChangedWhileMoved = 74,
    // The reason in brackets of a file that no lease vouches for and that has not yet been
    // unchanged for the settle time.
    StillWritten = 75,

    // The options dialog's further controls: the settle time, the log file, runs on arrival,
    // and the entry that opens the log file (also in the notification area's menu).
    SettleLabel = 76,
    LogFileBox = 77,
    RunOnArrivalBox = 78,
    OpenLogFile = 79,
    // What the window's log says once when the log file cannot be written, and when the record
    // of this program's temporaries is unusable.
    LogFileUnwritable = 80,
    TemporaryRecordUnusable = 81,
};

// The main window's table Texts holds t0 to t38; its Messages hold t54 to t59.
inline constexpr int WindowTextCount = OptionsCaption + 1;
inline constexpr int MessageCount = TrayExit - HelpQuestion + 1;
inline constexpr int FirstFurtherText = HelpButtonTip;
inline constexpr int LastFurtherText = TemporaryRecordUnusable;

inline QString Text(TextId id)
{
    return LanguageCatalogue::Text(Section, id);
}

// The main window's texts as it loaded them (LoadLanguage): its table t0 to t38, its
// messages t54 to t59 and its further texts t62 to t71, which the window, the schedule and the
// run read; and t45, the about button's tooltip. Any other id reads as empty text.
class Table
{
public:
    // Reads the texts anew from the current language file.
    void load()
    {
        for (int id = 0; id < WindowTextCount; ++id)
            setText(TextId(id), Text(TextId(id)));
        setText(AboutCaption, Text(AboutCaption));
        for (int id = HelpQuestion; id <= TrayExit; ++id)
            setText(TextId(id), Text(TextId(id)));
        for (int id = FirstFurtherText; id <= LastFurtherText; ++id)
            setText(TextId(id), Text(TextId(id)));
    }
    QString text(TextId id) const { return id >= 0 && id <= LastFurtherText ? m_texts[id] : QString(); }
    void setText(TextId id, const QString &text)
    {
        if (id >= 0 && id <= LastFurtherText)
            m_texts[id] = text;
    }

private:
    std::array<QString, LastFurtherText + 1> m_texts;
};

} // namespace FrmMainTexts

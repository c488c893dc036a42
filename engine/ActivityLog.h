#pragma once

#include "engine/PagedArray.h"
#include "engine/TextArena.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <functional>

// The lines of the activity log that List1 shows: appended only at the end, removed singly
// only from the end, and cleared as a whole by the log switch. The model also keeps the
// selected line, so that a view can follow the newest line (selectedRowChanged).
//
// Appending and removing cost the same at 100 000 lines as at 100: each touches one row.
// The log lives as long as the window and is never trimmed, so its lines are kept compactly
// (TextArena), and a date prefix once for every run of lines that share it; a line reads back
// as the text that was logged, its prefix fixed when it was written.
class ActivityLog : public QAbstractListModel
{
    Q_OBJECT

public:
    // The clock behind the date prefix; tests replace it. Without one the system clock is used.
    using Clock = std::function<QDateTime()>;

    explicit ActivityLog(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Told every final line as it is logged, without its date prefix: not the in-progress
    // lines, which are replaced by the file's result line.
    using FinalLineHook = std::function<void(const QString &line)>;

    // Log a line.
    void log(const QString &line);
    // Log the line of a file that is being worked on; its result line replaces it.
    void logInProgress(const QString &line);
    // Log a line with the date prefix when it is wanted.
    void logWithPrefix(const QString &line, bool prefixWanted);
    // Remove the newest line (if any), then log the line with the date prefix when wanted.
    void replaceNewest(const QString &line, bool prefixWanted);
    // Replace the line at row by the line, with the date prefix when wanted, leaving the lines
    // after it (those of other writers) where they are; a row that is gone gets the line logged.
    void replaceLine(int row, const QString &line, bool prefixWanted);
    // Remove the line at row; the lines after it move up.
    void removeLine(int row);
    // Make the newest line the selected one (no line when the log is empty).
    void selectNewest();
    void removeNewest();
    void clear();

    int lineCount() const { return static_cast<int>(m_texts.size()); }
    // An empty text for a row that is not there.
    QString line(int row) const;
    QString newestLine() const { return line(lineCount() - 1); }
    // A copy of every line, for checks; the window reads one row at a time.
    QStringList lines() const;
    // The selected row, -1 for none.
    int selectedRow() const { return m_selectedRow; }
    // How often the log was cleared: a row noted before a clearing names another line after it.
    int clearCount() const { return m_clearCount; }

    // The locale's short date, a blank, the locale's time with seconds, " - ".
    QString datePrefix() const;
    // The same date and time without the dash: the moment as the log writes it.
    QString momentText() const;
    // An empty clock restores the system clock.
    void setClock(Clock clock);
    // An empty hook tells nobody.
    void setFinalLineHook(FinalLineHook hook) { m_finalLineHook = std::move(hook); }
    // The locale whose formats build the prefix. Without one the log follows the user's
    // locale, or the program's language where the user's locale says nothing
    // (LanguageLocale::ForDates), also after the language changes.
    void setLocale(const QLocale &locale);

    // The locale's long time form without its time zone: the time with seconds.
    static QString TimeWithSeconds(const QLocale &locale);

    // Whether a writer uses the date prefix (Settings::DatePrefix).
    static bool PrefixWanted();

signals:
    void selectedRowChanged(int row);

private:
    void append(const QString &prefix, const QString &text);
    qsizetype runOf(int row) const;
    // Takes the lines from row on off the end, and returns them as their prefixes and texts.
    QList<std::pair<QString, QString>> takeFrom(int row);
    void tellFinal(const QString &text);
    void setSelectedRow(int row);
    QString formatMoment(const QDateTime &moment) const;
    void followProgramLanguage() const;
    void useFormatsOf(const QLocale &locale) const;

    // Each line's text after its prefix.
    TextArena m_texts;
    // The lines form runs that share one prefix (the empty one for lines without): the first
    // row of each run and its prefix, the newest run's also as a string to compare with.
    PagedArray<int, 12> m_runStarts;
    TextArena m_runPrefixes;
    QString m_newestPrefix;
    int m_selectedRow = -1;
    int m_clearCount = 0;
    Clock m_clock;
    FinalLineHook m_finalLineHook;
    // Set when a locale was given; otherwise the formats follow the program's language.
    bool m_localeGiven = false;
    mutable QString m_localeLanguage;
    mutable bool m_localeSettled = false;
    mutable QLocale m_locale;
    mutable QString m_dateFormat;
    mutable QString m_timeFormat;
    // The system clock's prefix of the current second: turning the time into local time asks
    // the time zone anew, which is the dearest part of a log line.
    mutable qint64 m_prefixSecond = -1;
    mutable QString m_prefix;
};

#include "engine/ActivityLog.h"

#include "config/LanguageLocale.h"
#include "config/Settings.h"
#include "config/modGlobal.h"

#include <QRegularExpression>

ActivityLog::ActivityLog(QObject *parent)
    : QAbstractListModel(parent)
{
}

int ActivityLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : lineCount();
}

QVariant ActivityLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= lineCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return line(index.row());
    return {};
}

QString ActivityLog::line(int row) const
{
    if (row < 0 || row >= lineCount())
        return {};
    return m_runPrefixes.at(runOf(row)) + m_texts.at(row);
}

// The run of the row: the last one that starts at or before it.
qsizetype ActivityLog::runOf(int row) const
{
    qsizetype low = 0;
    qsizetype high = m_runStarts.size() - 1;
    while (low < high) {
        const qsizetype middle = (low + high + 1) / 2;
        if (m_runStarts[middle] <= row)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

QStringList ActivityLog::lines() const
{
    QStringList all;
    all.reserve(lineCount());
    for (int row = 0; row < lineCount(); ++row)
        all.append(line(row));
    return all;
}

void ActivityLog::log(const QString &line)
{
    append(QString(), line);
    tellFinal(line);
}

void ActivityLog::logInProgress(const QString &line)
{
    append(QString(), line);
}

void ActivityLog::logWithPrefix(const QString &line, bool prefixWanted)
{
    append(prefixWanted ? datePrefix() : QString(), line);
    tellFinal(line);
}

// Once the line is in: the hook may log a line of its own.
void ActivityLog::tellFinal(const QString &text)
{
    if (m_finalLineHook)
        m_finalLineHook(text);
}

void ActivityLog::append(const QString &prefix, const QString &text)
{
    const int row = lineCount();
    beginInsertRows(QModelIndex(), row, row);
    if (m_runStarts.isEmpty() || prefix != m_newestPrefix) {
        m_runStarts.append(row);
        m_runPrefixes.append(prefix);
        m_newestPrefix = prefix;
    }
    m_texts.append(text);
    endInsertRows();
}

void ActivityLog::replaceNewest(const QString &line, bool prefixWanted)
{
    removeNewest();
    logWithPrefix(line, prefixWanted);
}

QList<std::pair<QString, QString>> ActivityLog::takeFrom(int row)
{
    QList<std::pair<QString, QString>> taken;
    while (lineCount() > row) {
        const int newest = lineCount() - 1;
        taken.prepend({m_runPrefixes.at(runOf(newest)), m_texts.at(newest)});
        removeNewest();
    }
    return taken;
}

void ActivityLog::replaceLine(int row, const QString &line, bool prefixWanted)
{
    if (row < 0 || row >= lineCount()) {
        logWithPrefix(line, prefixWanted);
        return;
    }
    const QList<std::pair<QString, QString>> after = takeFrom(row + 1);
    replaceNewest(line, prefixWanted);
    for (const auto &[prefix, text] : after)
        append(prefix, text);
}

void ActivityLog::removeLine(int row)
{
    if (row < 0 || row >= lineCount())
        return;
    QList<std::pair<QString, QString>> after = takeFrom(row);
    after.removeFirst();
    for (const auto &[prefix, text] : after)
        append(prefix, text);
}

void ActivityLog::selectNewest()
{
    setSelectedRow(lineCount() - 1);
}

void ActivityLog::removeNewest()
{
    if (m_texts.isEmpty())
        return;
    const int row = lineCount() - 1;
    if (m_selectedRow == row)
        setSelectedRow(-1);
    beginRemoveRows(QModelIndex(), row, row);
    m_texts.removeLast();
    if (m_runStarts.last() == row) {
        m_runStarts.truncate(m_runStarts.size() - 1);
        m_runPrefixes.removeLast();
        m_newestPrefix = m_runPrefixes.isEmpty() ? QString() : m_runPrefixes.last();
    }
    endRemoveRows();
}

void ActivityLog::clear()
{
    ++m_clearCount;
    setSelectedRow(-1);
    beginResetModel();
    m_texts.clear();
    m_runStarts.clear();
    m_runPrefixes.clear();
    m_newestPrefix.clear();
    endResetModel();
}

QString ActivityLog::datePrefix() const
{
    followProgramLanguage();
    if (m_clock)
        return formatMoment(m_clock()) + QLatin1String(" - ");
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_prefixSecond) {
        m_prefix = formatMoment(QDateTime::fromSecsSinceEpoch(second)) + QLatin1String(" - ");
        m_prefixSecond = second;
    }
    return m_prefix;
}

QString ActivityLog::momentText() const
{
    followProgramLanguage();
    return formatMoment(m_clock ? m_clock() : QDateTime::currentDateTime());
}

QString ActivityLog::formatMoment(const QDateTime &moment) const
{
    // One reading of the clock gives both halves, so date and time always belong together.
    return m_locale.toString(moment.date(), m_dateFormat) + QLatin1Char(' ')
        + m_locale.toString(moment.time(), m_timeFormat);
}

void ActivityLog::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void ActivityLog::setLocale(const QLocale &locale)
{
    m_localeGiven = true;
    useFormatsOf(locale);
}

void ActivityLog::followProgramLanguage() const
{
    if (m_localeGiven || (m_localeSettled && m_localeLanguage == modGlobal::CurrentLanguage))
        return;
    m_localeLanguage = modGlobal::CurrentLanguage;
    m_localeSettled = true;
    useFormatsOf(LanguageLocale::ForDates(QLocale::system(), m_localeLanguage));
}

void ActivityLog::useFormatsOf(const QLocale &locale) const
{
    m_locale = locale;
    m_dateFormat = locale.dateFormat(QLocale::ShortFormat);
    m_timeFormat = TimeWithSeconds(locale);
    m_prefixSecond = -1;
}

// The short time form drops the seconds in most locales; a log that may gain lines every
// minute needs them. The long form has them, and a time-zone name ("t") that a log line
// does not need.
QString ActivityLog::TimeWithSeconds(const QLocale &locale)
{
    const QString longForm = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : longForm) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            result.append(c);
    }
    // What stood around the zone alone: brackets ("(t)") and the blanks.
    result.remove(QRegularExpression(QStringLiteral("[(\\[]\\s*[)\\]]")));
    return result.simplified();
}

bool ActivityLog::PrefixWanted()
{
    return Settings::datePrefixWanted();
}

void ActivityLog::setSelectedRow(int row)
{
    if (row == m_selectedRow)
        return;
    m_selectedRow = row;
    emit selectedRowChanged(row);
}

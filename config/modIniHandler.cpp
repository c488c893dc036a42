#include "config/modIniHandler.h"

#include "config/IniDocument.h"
#include "config/modGlobal.h"
#include "fs/modFSO.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

namespace modIniHandler
{

namespace
{

const QByteArray LineEnd("\r\n");

// Absent when the file is missing or cannot be read.
std::optional<QByteArray> readFileBytes(const QString &filePath)
{
    if (filePath.isEmpty())
        return std::nullopt;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// A write reads the whole file, changes one key and replaces the file. Two copies of the
// program that write different keys at the same moment would each put back the other's
// older copy of the file, so writers of one folder take turns. The lock is on the folder,
// because every write replaces the file itself; the kernel drops it when its holder dies.
// Where the folder cannot be locked the write goes ahead alone, as it always could.
class FolderWriteLock
{
public:
    explicit FolderWriteLock(const QString &filePath)
        : m_fd(openFolderOf(filePath))
    {
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR)
            continue;
    }
    ~FolderWriteLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderWriteLock(const FolderWriteLock &) = delete;
    FolderWriteLock &operator=(const FolderWriteLock &) = delete;

private:
    static int openFolderOf(const QString &filePath)
    {
        const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
        return ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    int m_fd;
};

bool replaceFile(const QString &filePath, const QByteArray &bytes)
{
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// The reader hands back at most size - 1 characters, like a C buffer of size characters
// with its terminating null; a surrogate pair is never split.
QString cutToSize(const QString &text, int size)
{
    const qsizetype limit = size > 0 ? size - 1 : 0;
    if (text.size() <= limit)
        return text;
    qsizetype length = limit;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

bool isQuoted(QByteArrayView text)
{
    return text.size() >= 2 && isQuote(text.front()) && text.back() == text.front();
}

// One pair of matching quotes around the value is dropped; a null byte ends the text.
QString decodeValue(QByteArray raw)
{
    if (isQuoted(raw))
        raw = raw.sliced(1, raw.size() - 2);
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0)
        raw.truncate(nul);
    return decodeIniText(raw);
}

// A value that the reader would change (blanks at its ends, or a quoted look) is written
// inside quotes, so that it reads back exactly as written.
QByteArray encodeValue(const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    if (bytes != bytes.trimmed() || isQuoted(bytes))
        return '"' + bytes + '"';
    return bytes;
}

bool hasLineBreakOrNull(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

// Names and values that could not be read back as written, or that would break the file
// into extra lines, are refused.
bool isWritable(const QString &section, const QString &key, const QString &value)
{
    const QString name = key.trimmed();
    if (section.trimmed().isEmpty() || name.isEmpty())
        return false;
    if (hasLineBreakOrNull(section) || hasLineBreakOrNull(key) || hasLineBreakOrNull(value))
        return false;
    return !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char(';'))
        && !name.startsWith(QLatin1Char('['));
}

QStringList defaultSettingsLines()
{
    const QString prefix = QStringLiteral(";     ");
    return {
        QString(),
        QString(),
        QStringLiteral(";"),
        QStringLiteral("; Config file for ") + QLatin1String(modGlobal::ProductName),
        prefix + QStringLiteral("file name: ") + QLatin1String(modGlobal::SettingsFileName),
        QStringLiteral(";"),
        prefix + QLatin1String(modGlobal::MakerName),
        prefix + QLatin1String(modGlobal::MakerStreet),
        prefix + QLatin1String(modGlobal::MakerTown),
        prefix + QLatin1String(modGlobal::MakerCountry),
        prefix + QStringLiteral("mailto:") + QLatin1String(modGlobal::SupportAddress),
        QStringLiteral(";"),
        prefix + QLatin1String(modGlobal::SiteRoot),
        prefix + QLatin1String(modGlobal::HelpPageUrl),
        QStringLiteral(";"),
        QString(),
        QStringLiteral("[Options]"),
        QStringLiteral("Save=1"),
        QStringLiteral("Question=0"),
        QStringLiteral("DoActionOnStart=0"),
        QStringLiteral("CheckDestination=1"),
        QStringLiteral("From="),
        QStringLiteral("To="),
        QStringLiteral("Interval=1"),
        QStringLiteral("Action=Copy"),
        QStringLiteral("ShowLog=1"),
        QStringLiteral("Overwrite=0"),
        QStringLiteral("Language="),
        QStringLiteral("ShowDateAndTime=1"),
        QString(),
    };
}

} // namespace

QString ReadIniValue(const QString &filePath, const QString &section, const QString &key,
    const QString &defaultValue, int size)
{
    const std::optional<QByteArray> bytes = readFileBytes(filePath);
    if (!bytes)
        return cutToSize(defaultValue, size);
    const std::optional<QByteArray> raw = IniDocument(*bytes).rawValue(section, key);
    if (!raw)
        return cutToSize(defaultValue, size);
    return cutToSize(decodeValue(*raw), size);
}

bool WriteIniValue(const QString &filePath, const QString &section, const QString &key, const QString &value)
{
    if (filePath.isEmpty() || !isWritable(section, key, value))
        return false;
    const FolderWriteLock turn(filePath);
    QByteArray bytes;
    const QFileInfo info(filePath);
    if (info.exists()) {
        // A file that is there but cannot be read is left alone rather than replaced by
        // a file that holds only the new key.
        const std::optional<QByteArray> old = info.isFile() ? readFileBytes(filePath) : std::nullopt;
        if (!old)
            return false;
        bytes = *old;
    }
    return replaceFile(filePath, IniDocument(bytes).withValue(section, key, encodeValue(value)));
}

QString ReadSetting(const QString &section, const QString &key, const QString &defaultValue, int size)
{
    return ReadIniValue(modGlobal::SettingsFilePath, section, key, defaultValue, size);
}

void WriteSetting(const QString &section, const QString &key, const QString &value)
{
    WriteIniValue(modGlobal::SettingsFilePath, section, key, value);
}

QString ReadLanguageText(const QString &section, const QString &key, const QString &defaultValue, int size)
{
    return ReadIniValue(modGlobal::LanguageFilePath, section, key, defaultValue, size);
}

void WriteDefaultSettings(const QString &folder)
{
    const QString path = modFSO::JoinPath(folder, QLatin1String(modGlobal::SettingsFileName));
    replaceFile(path, defaultSettingsLines().join(QLatin1String(LineEnd)).toUtf8() + LineEnd);
}

} // namespace modIniHandler

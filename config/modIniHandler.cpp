#include "config/modIniHandler.h"

#include "config/IniDocument.h"
#include "config/modGlobal.h"
#include "fs/FileDescriptor.h"
#include "fs/modFSO.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace modIniHandler
{

namespace
{

const QByteArray LineEnd("\r\n");

// No settings or language file comes near this size; anything larger is not one of them.
constexpr qint64 MaxFileBytes = qint64(4) << 20;

using modFSO::FileDescriptor;

bool isRegularFile(int fd)
{
    struct stat info {
    };
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Only a regular file is opened: a FIFO would block the program until someone writes into it,
// and a device may never end. The open does not wait either, in case the path is swapped for
// a FIFO after the look; the type is checked again on what was opened.
int openRegularFile(const QString &filePath, int access)
{
    const QByteArray path = QFile::encodeName(filePath);
    struct stat info {
    };
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const int fd = ::open(path.constData(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && !isRegularFile(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Absent when the file is missing, cannot be read, is no regular file or is too large.
std::optional<QByteArray> readFileBytes(const QString &filePath)
{
    if (filePath.isEmpty())
        return std::nullopt;
    const FileDescriptor file(openRegularFile(filePath, O_RDONLY));
    if (file.get() < 0)
        return std::nullopt;
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got == 0)
            return bytes;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || bytes.size() + got > MaxFileBytes)
            return std::nullopt;
        bytes.append(buffer, got);
    }
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

// An administrator may leave the settings file writable in a folder that is not: then no
// file can be put beside it, and it is written in place, as the platform's profile writer
// does. The room for a longer file is taken first, so that a full disk fails before any byte
// of the old file has changed.
bool writeInPlace(const QString &filePath, const QByteArray &bytes)
{
    const FileDescriptor file(openRegularFile(filePath, O_WRONLY));
    if (file.get() < 0)
        return false;
    struct stat info {
    };
    if (::fstat(file.get(), &info) != 0)
        return false;
    if (bytes.size() > info.st_size && ::posix_fallocate(file.get(), 0, off_t(bytes.size())) != 0)
        return false;
    return modFSO::writeAll(file.get(), bytes, 0) == 0 && ::ftruncate(file.get(), off_t(bytes.size())) == 0
        && ::fsync(file.get()) == 0;
}

// Unbuffered, so that a full disk or a short write shows in write() itself: a buffered write
// whose flush inside commit() fails can be reported as committed (Qt 6.4), and the old file
// is then replaced by a cut one.
bool replaceFile(const QString &filePath, const QByteArray &bytes)
{
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return writeInPlace(filePath, bytes);
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
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

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

bool isQuoted(QStringView text)
{
    return text.size() >= 2 && isQuote(text.front()) && text.back() == text.front();
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

// One pair of matching quotes around the value is dropped; a null character ends the text.
QString unquoted(QString text)
{
    if (isQuoted(text))
        text = text.sliced(1, text.size() - 2);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

// A value that the reader would change (blanks at its ends, or a quoted look) is written
// inside quotes, so that it reads back exactly as written.
QString quotedIfNeeded(const QString &value)
{
    const bool blankAtEnd = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
    if (blankAtEnd || isQuoted(value))
        return u'"' + value + u'"';
    return value;
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
    const std::optional<QString> text = IniDocument(*bytes).value(section, key);
    if (!text)
        return cutToSize(defaultValue, size);
    return cutToSize(unquoted(*text), size);
}

bool WriteIniValue(const QString &filePath, const QString &section, const QString &key, const QString &value)
{
    if (filePath.isEmpty() || !isWritable(section, key, value))
        return false;
    const FolderWriteLock turn(filePath);
    QByteArray bytes;
    if (QFileInfo::exists(filePath)) {
        // A file that is there but cannot be read, or is no regular file, is left alone rather
        // than replaced by a file that holds only the new key (or written through).
        const std::optional<QByteArray> old = readFileBytes(filePath);
        if (!old)
            return false;
        bytes = *old;
    }
    const std::optional<QByteArray> changed
        = IniDocument(bytes).withValue(section, key, quotedIfNeeded(value));
    return changed && replaceFile(filePath, *changed);
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

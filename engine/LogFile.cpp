#include "engine/LogFile.h"

#include "fs/FsError.h"
#include "fs/StateFolder.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{

const QByteArray BaseName("TessaroLite.log");

// Another program may rotate the files under this one's hands: each looks at the log and
// appends to it while it holds this lock on the folder. One that cannot have it at once
// (the holder was stopped, say) still appends, which is safe in itself, and leaves the
// rotation to the next time.
class FolderLock
{
public:
    explicit FolderLock(int folder)
        : m_folder(folder)
    {
        using namespace std::chrono_literals;
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (::flock(folder, LOCK_EX | LOCK_NB) == 0) {
                m_state = State::Held;
                return;
            }
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK) {
                // A file system without such locks: nobody can be told, so nobody waits.
                m_state = State::Unsupported;
                return;
            }
            std::this_thread::sleep_for(1ms);
        }
    }
    ~FolderLock()
    {
        if (m_state == State::Held)
            ::flock(m_folder, LOCK_UN);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool mayRotate() const { return m_state != State::Busy; }

private:
    enum class State { Busy, Held, Unsupported };
    int m_folder;
    State m_state = State::Busy;
};

// A line of the file is one line, whatever its text holds.
QString oneLine(const QString &text)
{
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString line = text;
    return line.replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

} // namespace

LogFile::LogFile(const QString &folder)
    : m_folder(folder)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushDelayMs);
    QObject::connect(&m_flushTimer, &QTimer::timeout, [this] { flush(); });
}

LogFile::~LogFile()
{
    flush();
}

QString LogFile::DefaultFolder()
{
    return modFSO::StateFolder::path();
}

QString LogFile::path() const
{
    return m_folder.isEmpty() ? QString() : m_folder + QLatin1Char('/') + QString::fromLatin1(BaseName);
}

void LogFile::setEnabled(bool enabled)
{
    if (!enabled)
        flush();
    m_enabled = enabled;
}

void LogFile::append(const QString &text)
{
    if (!m_enabled)
        return;
    m_waiting += stamp();
    m_waiting += ' ';
    m_waiting += oneLine(text).toUtf8();
    m_waiting += '\n';
    if (m_waiting.size() >= BatchBytes)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

bool LogFile::flush()
{
    m_flushTimer.stop();
    if (m_waiting.isEmpty())
        return true;
    const int error = write(m_waiting);
    // Kept for the next lines: the buffer is used again and again.
    m_waiting.truncate(0);
    if (error == 0) {
        m_failing = false;
        return true;
    }
    // The next write looks for the folder and the file anew: they may be back by then.
    m_fileFd.reset();
    m_folderFd.reset();
    if (!m_failing) {
        m_failing = true;
        // Last: the report may well log a line, which comes back here.
        if (m_report)
            m_report(modFSO::describeError(error));
    }
    return false;
}

bool LogFile::flushForReading()
{
    if (!flush())
        return false;
    return !m_enabled || write(QByteArray()) == 0;
}

QByteArray LogFile::Stamp(const QDateTime &moment)
{
    const int offset = moment.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return moment.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() + (offset < 0 ? '-' : '+')
        + QByteArray::number(minutes / 60).rightJustified(2, '0') + ':'
        + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray LogFile::stamp()
{
    if (m_clock)
        return Stamp(m_clock());
    // Turning the time into local time asks the time zone anew: once a second is enough.
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != m_stampSecond) {
        m_stamp = Stamp(QDateTime::fromSecsSinceEpoch(second));
        m_stampSecond = second;
    }
    return m_stamp;
}

// 0 or the errno of the step that failed.
int LogFile::write(const QByteArray &lines)
{
    if (const int error = openFolder())
        return error;
    const FolderLock lock(m_folderFd.get());
    if (const int error = openFile(lines.size(), lock.mayRotate()))
        return error;
    struct stat file {
    };
    if (::fstat(m_fileFd.get(), &file) != 0)
        return errno;
    // A line that a killed program left unfinished stays on its own line.
    char last = '\n';
    if (file.st_size > 0 && ::pread(m_fileFd.get(), &last, 1, file.st_size - 1) == 1 && last != '\n')
        return modFSO::writeAll(m_fileFd.get(), QByteArray(1, '\n') + lines);
    return modFSO::writeAll(m_fileFd.get(), lines);
}

// The folder is taken as the program's own state folder is: made where missing, and only as a
// real folder of the user's.
int LogFile::openFolder()
{
    if (m_folderFd.valid())
        return 0;
    if (m_folder.isEmpty())
        return ENOENT;
    m_folderFd = modFSO::StateFolder::open(m_folder, true);
    return m_folderFd.valid() ? 0 : errno;
}

// The log as its name gives it now: another program may have rotated it, or someone removed
// it, since this one last wrote. Only a regular file is written, and never through a link.
int LogFile::openFile(qsizetype incoming, bool mayRotate)
{
    const int folder = m_folderFd.get();
    struct stat byName {
    };
    const bool named = ::fstatat(folder, BaseName.constData(), &byName, AT_SYMLINK_NOFOLLOW) == 0;
    if (m_fileFd.valid()) {
        struct stat own {
        };
        if (!named || ::fstat(m_fileFd.get(), &own) != 0 || own.st_dev != byName.st_dev
            || own.st_ino != byName.st_ino)
            m_fileFd.reset();
    }
    if (named && mayRotate && S_ISREG(byName.st_mode) && byName.st_size > 0
        && byName.st_size + incoming > RotateBytes) {
        rotate();
        m_fileFd.reset();
    }
    if (m_fileFd.valid())
        return 0;
    m_fileFd
        = modFSO::StateFolder::openFile(folder, BaseName.constData(), O_RDWR | O_APPEND | O_CREAT | O_NOCTTY);
    return m_fileFd.valid() ? 0 : errno;
}

// .3 becomes .4 (the old .4 is dropped), and so on; the log becomes .1.
void LogFile::rotate()
{
    const int folder = m_folderFd.get();
    for (int generation = RotatedFiles - 1; generation >= 0; --generation)
        ::renameat(folder, name(generation).constData(), folder, name(generation + 1).constData());
}

QByteArray LogFile::name(int generation) const
{
    return generation == 0 ? BaseName : BaseName + '.' + QByteArray::number(generation);
}

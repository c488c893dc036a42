#include "fs/TemporaryRecord.h"

#include "fs/FileDescriptor.h"
#include "fs/PosixSupport.h"
#include "fs/StateFolder.h"

#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

const QByteArray HiddenPrefix(".tessaro-");
const QByteArray HiddenSuffix(".part");
constexpr int TokenDigits = 16;
const char RecordName[] = "temporaries";
const char LockName[] = "temporaries.lock";
// A record larger than this is not the program's: its lines are not even read.
constexpr qint64 MostRecordBytes = qint64(64) * 1024;
// Lines of runs into folders that are never visited again stay; the oldest go beyond this.
constexpr int MostLines = 32;

bool isLowerHex(QByteArrayView text)
{
    return std::all_of(
        text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// One line of the record: a run's token, the process that runs it, and the folder.
struct Line {
    QByteArray token;
    QByteArray process;
    QByteArray folder;

    QByteArray text() const { return token + ' ' + process + ' ' + folder.toPercentEncoding("/") + '\n'; }

    static std::optional<Line> parse(const QByteArray &text)
    {
        const QList<QByteArray> fields = text.split(' ');
        if (fields.size() != 3 || fields[0].size() != TokenDigits || !isLowerHex(fields[0]))
            return std::nullopt;
        return Line {fields[0], fields[1], QByteArray::fromPercentEncoding(fields[2])};
    }
};

// What the record holds, and whether it may be used and replaced.
struct Record {
    QList<Line> lines;
    bool usable = true;
    bool writable = true;
};

// -- The state folder, the lock and the record --------------------------------------------------

// The record as it is: only a regular file of the user's with one name is read, and only
// while it is small; one too large is not read, and may be replaced.
Record readRecord(int folder)
{
    Record record;
    const FileDescriptor fd = StateFolder::openFile(folder, RecordName, O_RDONLY);
    if (!fd.valid()) {
        if (errno != ENOENT)
            record.usable = record.writable = false;
        return record;
    }
    const std::optional<QByteArray> content = StateFolder::readAll(fd.get(), MostRecordBytes);
    if (!content) {
        record.usable = false;
        return record;
    }
    for (const QByteArray &text : content->split('\n')) {
        if (const std::optional<Line> line = Line::parse(text))
            record.lines.append(*line);
    }
    return record;
}

// Replaces the record as a whole: nothing is ever written into the file that has its name.
bool writeRecord(int folder, const QList<Line> &lines, bool durable)
{
    if (lines.isEmpty())
        return ::unlinkat(folder, RecordName, 0) == 0 || errno == ENOENT;
    QByteArray content;
    for (const Line &line : lines)
        content += line.text();
    return StateFolder::replaceFile(folder, RecordName, content, durable) == 0;
}

// The record held under its lock while it is read and changed.
class LockedRecord
{
public:
    // Missing unless make is set, or when there is no state folder at all; refused when it, or
    // its lock, may not be used.
    explicit LockedRecord(bool make)
        : m_folder(StateFolder::open(make))
    {
        bool refused = !m_folder.valid() && errno != ENOENT;
        if (m_folder.valid())
            m_lock = StateFolder::lock(m_folder.get(), LockName, true);
        if (m_folder.valid() && !m_lock.valid())
            refused = true;
        if (m_lock.valid())
            m_record = readRecord(m_folder.get());
        if (refused)
            m_record.usable = m_record.writable = false;
    }

    bool present() const { return m_lock.valid(); }
    Record &record() { return m_record; }
    bool write(bool durable)
    {
        return m_lock.valid() && m_record.writable && writeRecord(m_folder.get(), m_record.lines, durable);
    }

private:
    FileDescriptor m_folder;
    FileDescriptor m_lock;
    Record m_record;
};

// -- Which runs still run -----------------------------------------------------------------------

QByteArray firstLine(const char *path)
{
    const FileDescriptor fd(::open(path, O_RDONLY | O_CLOEXEC));
    char buffer[512];
    const ssize_t got = fd.valid() ? ::read(fd.get(), buffer, sizeof buffer - 1) : -1;
    return got > 0 ? QByteArray(buffer, got).split('\n').first() : QByteArray();
}

// The moment a process started, in clock ticks since the boot: with the boot and the process
// number, it tells a process apart from a later one that got the same number.
QByteArray startOf(pid_t pid)
{
    const QByteArray stat = firstLine(("/proc/" + QByteArray::number(pid) + "/stat").constData());
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields[19] : QByteArray();
}

QByteArray bootOf()
{
    static const QByteArray boot = firstLine("/proc/sys/kernel/random/boot_id").left(8);
    return boot;
}

QByteArray processIdentity(pid_t pid)
{
    const QByteArray start = startOf(pid);
    return start.isEmpty() ? QByteArray() : bootOf() + ':' + QByteArray::number(pid) + ':' + start;
}

// The tokens of the runs of this process that have not ended yet.
std::mutex liveMutex;
QSet<QByteArray> &liveTokens()
{
    static QSet<QByteArray> tokens;
    return tokens;
}

bool isLive(const QByteArray &token)
{
    const std::lock_guard<std::mutex> lock(liveMutex);
    return liveTokens().contains(token);
}

bool stillRuns(const Line &line)
{
    const QList<QByteArray> parts = line.process.split(':');
    if (parts.size() != 3 || parts[0] != bootOf())
        return false;
    const pid_t pid = pid_t(parts[1].toLongLong());
    if (pid <= 0 || processIdentity(pid) != line.process)
        return false;
    return pid != ::getpid() || isLive(line.token);
}

// -- The folder, as a re-mount keeps it ---------------------------------------------------------

// The mount that holds the folder: its root within the file system and where it is mounted.
bool mountOf(int folder, QByteArray &root, QByteArray &at)
{
    struct statx sx;
    if (::statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0 || !(sx.stx_mask & STATX_MNT_ID))
        return false;
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    const QByteArray id = QByteArray::number(quint64(sx.stx_mnt_id));
    for (const QByteArray &text : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = text.split(' ');
        if (fields.size() >= 5 && fields[0] == id) {
            root = unescapeOctal(fields[3]);
            at = unescapeOctal(fields[4]);
            return true;
        }
    }
    return false;
}

// The folder's path within its file system: where the file system is mounted, and its
// device and inode numbers, may change from one mount to the next; this does not.
QByteArray folderKey(int folder)
{
    QByteArray path = kernelPath(folder);
    if (path.isEmpty())
        return {};
    QByteArray root;
    QByteArray at;
    if (!mountOf(folder, root, at) || at == "/" || !(path == at || path.startsWith(at + '/')))
        return path;
    const QByteArray key = (root == "/" ? QByteArray() : root) + path.mid(at.size());
    return key.isEmpty() ? QByteArray("/") : key;
}

// -- Leftovers ----------------------------------------------------------------------------------

// Removes the regular files of the folder whose names carry one of the tokens; answers the
// tokens of which a file could not be removed.
QSet<QByteArray> removeFilesOf(int folder, const QSet<QByteArray> &tokens)
{
    QSet<QByteArray> kept;
    const FolderReader reader(folder);
    if (!reader.get())
        return tokens;
    while (const struct dirent *entry = reader.next()) {
        const QByteArray token = temporaryToken(entry->d_name);
        struct stat st;
        if (token.isEmpty() || !tokens.contains(token)
            || ::fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::unlinkat(folder, entry->d_name, 0) != 0 && errno != ENOENT)
            kept.insert(token);
    }
    return kept;
}

} // namespace

QString temporaryRecordPath()
{
    const QString folder = StateFolder::path();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + QLatin1String(RecordName);
}

QByteArray temporaryToken(const QByteArray &name)
{
    if (!name.startsWith(HiddenPrefix) || !name.endsWith(HiddenSuffix))
        return {};
    const QByteArray middle
        = name.mid(HiddenPrefix.size(), name.size() - HiddenPrefix.size() - HiddenSuffix.size());
    const QByteArray token = middle.left(TokenDigits);
    const QByteArray number = middle.mid(TokenDigits + 1);
    const bool ours = middle.size() > TokenDigits + 1 && middle[TokenDigits] == '-' && number.size() <= 16
        && isLowerHex(token) && isLowerHex(number);
    return ours ? token : QByteArray();
}

RunTemporaries::RunTemporaries(int folder)
    : m_folder(folder)
    , m_token(
          QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(TokenDigits, '0'))
{
    const std::lock_guard<std::mutex> lock(liveMutex);
    liveTokens().insert(m_token);
}

RunTemporaries::~RunTemporaries()
{
    if (m_hasLine.load() && m_namesLeft.load() == 0) {
        LockedRecord locked(false);
        const qsizetype before = locked.record().lines.size();
        locked.record().lines.removeIf([this](const Line &line) { return line.token == m_token; });
        if (locked.record().lines.size() != before)
            locked.write(false);
    }
    const std::lock_guard<std::mutex> lock(liveMutex);
    liveTokens().remove(m_token);
}

QByteArray RunTemporaries::nextName()
{
    std::call_once(m_recorded, [this] { record(); });
    m_namesLeft.fetch_add(1);
    return HiddenPrefix + m_token + '-' + QByteArray::number(m_nextNumber.fetch_add(1), 16) + HiddenSuffix;
}

void RunTemporaries::nameGone()
{
    m_namesLeft.fetch_sub(1);
}

void RunTemporaries::record()
{
    const QByteArray folder = folderKey(m_folder);
    const QByteArray process = processIdentity(::getpid());
    LockedRecord locked(true);
    Record &record = locked.record();
    bool written = false;
    if (locked.present() && record.writable && !folder.isEmpty() && !process.isEmpty()) {
        while (record.lines.size() >= MostLines)
            record.lines.removeFirst();
        record.lines.append(Line {m_token, process, folder});
        written = locked.write(true);
    }
    m_hasLine.store(written);
    m_unusable.store(!written || !record.usable);
}

bool removeLeftoverTemporaries(int folder)
{
    QList<Line> lines;
    {
        LockedRecord locked(false);
        if (!locked.record().usable)
            return false;
        lines = locked.record().lines;
    }
    // Most runs find no line at all: the folder's path is only worked out when one is there.
    const QByteArray key = lines.isEmpty() ? QByteArray() : folderKey(folder);
    QSet<QByteArray> ended;
    for (const Line &line : lines) {
        if (line.folder == key && !stillRuns(line))
            ended.insert(line.token);
    }
    if (ended.isEmpty())
        return true;
    // The folder is listed without the lock: on a slow share that takes a while, and other
    // runs must meanwhile record their own names.
    const QSet<QByteArray> kept = removeFilesOf(folder, ended);
    LockedRecord locked(false);
    const qsizetype before = locked.record().lines.size();
    locked.record().lines.removeIf(
        [&](const Line &line) { return ended.contains(line.token) && !kept.contains(line.token); });
    if (locked.record().lines.size() != before)
        locked.write(false);
    return true;
}

} // namespace modFSO::detail

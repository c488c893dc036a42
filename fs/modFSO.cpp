#include "fs/modFSO.h"

#include "fs/PosixSupport.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace modFSO
{

namespace
{

using detail::nativePath;

const QChar Separator = QLatin1Char('/');

bool statPath(const QString &path, struct stat &st)
{
    return ::stat(nativePath(path).constData(), &st) == 0;
}

int makeOneLevel(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0777) == 0)
        return 0;
    const int code = errno;
    struct stat st;
    if (code != EEXIST)
        return code;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Creates each missing level from the top down; returns the errno of the first level that
// could not be made.
int makePath(const QByteArray &path)
{
    if (path.isEmpty())
        return ENOENT;
    for (qsizetype end = 1; end <= path.size(); ++end) {
        const bool levelEnds = end == path.size() || path.at(end) == '/';
        if (!levelEnds || path.at(end - 1) == '/')
            continue;
        if (const int code = makeOneLevel(path.left(end)))
            return code;
    }
    return 0;
}

QString fileTitle(const QString &path)
{
    return path.mid(path.lastIndexOf(Separator) + 1);
}

[[noreturn]] void throwErrno(int code)
{
    throw FsError(code, detail::describeError(code));
}

// A link is followed to see whether it ends at a regular file; so are file systems that do
// not tell the kind of an entry in the listing itself.
bool isPlainFileEntry(DIR *folder, const struct dirent *entry)
{
    if (entry->d_name[0] == '.')
        return false;
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    return ::fstatat(::dirfd(folder), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

class FolderListing
{
public:
    explicit FolderListing(const QString &folder)
        : m_dir(::opendir(nativePath(folder).constData()))
    {
        if (!m_dir)
            throwErrno(errno);
    }
    ~FolderListing() { ::closedir(m_dir); }
    FolderListing(const FolderListing &) = delete;
    FolderListing &operator=(const FolderListing &) = delete;

    QStringList plainFiles()
    {
        QStringList names;
        for (;;) {
            errno = 0;
            const struct dirent *entry = ::readdir(m_dir);
            if (!entry)
                break;
            if (isPlainFileEntry(m_dir, entry))
                names.append(detail::decodedPath(QByteArray(entry->d_name)));
        }
        if (errno != 0)
            throwErrno(errno);
        return names;
    }

private:
    DIR *m_dir;
};

} // namespace

// A dangling link still occupies its name, so it counts as existing.
bool FileExists(const QString &path)
{
    struct stat st;
    return ::lstat(nativePath(path).constData(), &st) == 0;
}

bool FolderExists(const QString &folderName)
{
    struct stat st;
    return statPath(folderName, st) && S_ISDIR(st.st_mode);
}

QString CreateFolder(const QString &newPath)
{
    const int code = makePath(nativePath(newPath.trimmed()));
    if (code == 0)
        return {};
    return detail::errorHead(QStringLiteral("CreateFolder"), code) + QStringLiteral(" NewPath: ") + newPath;
}

QString GetExtensionName(const QString &flname)
{
    if (!FileExists(flname))
        return {};
    const QString title = fileTitle(flname);
    for (qsizetype i = title.size() - 1; i >= 0; --i) {
        const QChar c = title.at(i);
        if (c == QLatin1Char('.'))
            return title.mid(i + 1);
        if (c == QLatin1Char(':') || c == QLatin1Char('\\'))
            return {};
    }
    return {};
}

QString AddBackslash(const QString &path)
{
    return path.endsWith(Separator) ? path : path + Separator;
}

QString StripLeadingBackslash(const QString &path)
{
    return path.startsWith(Separator) ? path.mid(1) : path;
}

QString JoinPath(const QString &first, const QString &second)
{
    return AddBackslash(first) + StripLeadingBackslash(second);
}

QStringList ListPlainFiles(const QString &folder)
{
    return FolderListing(folder).plainFiles();
}

qint64 FileSize(const QString &path)
{
    struct stat st;
    if (!statPath(path, st))
        throwErrno(errno);
    return st.st_size;
}

bool IsSameFile(const QString &a, const QString &b)
{
    struct stat first;
    struct stat second;
    return statPath(a, first) && statPath(b, second) && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

bool IsSameFileSystem(const QString &a, const QString &b)
{
    struct stat first;
    struct stat second;
    return statPath(a, first) && statPath(b, second) && first.st_dev == second.st_dev;
}

} // namespace modFSO

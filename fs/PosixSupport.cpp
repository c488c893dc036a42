#include "fs/PosixSupport.h"

#include <QByteArrayView>
#include <QStringView>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace modFSO::detail
{

namespace
{

// A name on disk is a string of bytes and need not be UTF-8: names from older systems are
// often Latin-1. Each byte that is not part of valid UTF-8 stands in the text as one of the
// lone low surrogates U+DC80 to U+DCFF, which no valid name holds, and becomes its byte again
// on the way back, so that every listed file can be found under its name.
constexpr char16_t EscapeBase = 0xDC00;

bool isEscapedByte(const QString &path, qsizetype i)
{
    const char16_t c = path.at(i).unicode();
    return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF && (i == 0 || !path.at(i - 1).isHighSurrogate());
}

struct Utf8Lead {
    int length = 0; // 0: no sequence begins with this byte
    char32_t bits = 0;
    char32_t smallest = 0; // below this the sequence is overlong
};

Utf8Lead utf8Lead(uchar lead)
{
    if (lead < 0x80)
        return {1, lead, 0};
    if ((lead & 0xE0) == 0xC0)
        return {2, char32_t(lead & 0x1F), 0x80};
    if ((lead & 0xF0) == 0xE0)
        return {3, char32_t(lead & 0x0F), 0x800};
    if ((lead & 0xF8) == 0xF0)
        return {4, char32_t(lead & 0x07), 0x10000};
    return {};
}

// The length of the valid UTF-8 sequence that begins at i; 0 when none begins there.
int utf8SequenceLength(QByteArrayView bytes, qsizetype i)
{
    const Utf8Lead lead = utf8Lead(bytes[i]);
    if (lead.length == 0 || i + lead.length > bytes.size())
        return 0;
    char32_t code = lead.bits;
    for (int k = 1; k < lead.length; ++k) {
        const uchar next = bytes[i + k];
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < lead.smallest || code > 0x10FFFF || surrogate ? 0 : lead.length;
}

} // namespace

QByteArray nativePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isEscapedByte(path, i))
            continue;
        bytes += QStringView(path).sliced(runStart, i - runStart).toUtf8();
        bytes += char(path.at(i).unicode() - EscapeBase);
        runStart = i + 1;
    }
    return bytes + QStringView(path).sliced(runStart).toUtf8();
}

QString decodedPath(const QByteArray &path)
{
    QString text;
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < path.size()) {
        const int length = utf8SequenceLength(path, i);
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(QByteArrayView(path).sliced(runStart, i - runStart));
        text += QChar(EscapeBase + uchar(path.at(i)));
        runStart = ++i;
    }
    return text + QString::fromUtf8(QByteArrayView(path).sliced(runStart));
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray kernelPath(int fd)
{
    char target[4096];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(self.constData(), target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target)
        return {};
    return QByteArray(target, length);
}

QByteArray unescapeOctal(const QByteArray &field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int value = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(field.at(i));
    }
    return out;
}

FolderReader::FolderReader(int folder)
    : m_dir(nullptr)
{
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    m_dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (fd >= 0 && !m_dir)
        ::close(fd);
}

FolderReader::~FolderReader()
{
    if (m_dir)
        ::closedir(m_dir);
}

const struct dirent *FolderReader::next() const
{
    errno = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): each reader has a listing of its own
    return ::readdir(m_dir);
}

} // namespace modFSO::detail

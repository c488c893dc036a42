// Fuzz target for the INI reader and writer behind the settings and language files.
//
// Input: section, key and value, each ended by a backslash followed by any other character
// ("\\" stands for one backslash), then the bytes of the file. A seed therefore reads like
//     Options\ Save\ 0\ <file bytes>
//
// Each input is one read of the file as it is, one write of the key, and a read back:
// - a read of any file gives at most 255 characters and never crashes;
// - a refused write leaves the file alone and happens only for the names and values that
//   could not be stored on one line, for text that the file's encoding cannot hold, for a
//   UTF-16 file cut in the middle of a code unit, and for a Windows-1252 file that the write
//   could turn into valid UTF-8 (whose encoding is then read otherwise);
// - an accepted write reads back exactly as written, every other line of the file is still
//   there byte for byte, in its place, and a line that was added ends as the line before it
//   (a line that had no line end, as the file's first line; CR LF in a file without one).
//
// The file's encoding is found here independently of the program: a byte-order mark, else
// UTF-8 when the bytes are valid UTF-8, else Windows-1252 through Qt's ICU converter.
#include "config/modIniHandler.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace
{

constexpr size_t MaxNameBytes = 64;
constexpr size_t MaxValueBytes = 512;

void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_ini: %s\n", what);
    std::abort();
}

// Every write of the settings file syncs it to disk; scripts/fuzz points TMPDIR at a RAM file
// system so that this costs nothing.
const QString &scratchFile()
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("Tessaro.ini"));
    require(dir.isValid(), "no scratch folder");
    return path;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot prepare the file");
    require(file.write(bytes) == bytes.size(), "cannot prepare the file");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    require(file.open(QIODevice::ReadOnly), "the file vanished");
    return file.readAll();
}

struct Encoding {
    enum Kind { Utf8, Windows1252, Utf16LE, Utf16BE } kind = Utf8;
    qsizetype mark = 0;

    qsizetype unit() const { return kind == Utf16LE || kind == Utf16BE ? 2 : 1; }
    const char *name() const
    {
        static const char *const names[] = {"UTF-8", "windows-1252", "UTF-16LE", "UTF-16BE"};
        return names[kind];
    }
};

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

Encoding encodingOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return {Encoding::Utf16LE, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {Encoding::Utf16BE, 2};
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {Encoding::Utf8, 3};
    return {isValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252, 0};
}

// A byte-order mark inside a name or a value is a character like any other.
QString decodeIn(const Encoding &encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding.name(), QStringDecoder::Flag::ConvertInitialBom);
    require(decoder.isValid(), "no converter for the file's encoding");
    return decoder.decode(bytes);
}

bool canHold(const Encoding &encoding, const QString &text)
{
    QStringEncoder encoder(encoding.name());
    require(encoder.isValid(), "no converter for the file's encoding");
    const QByteArray bytes = encoder.encode(text);
    return !encoder.hasError() && decodeIn(encoding, bytes) == text;
}

QByteArray encodeIn(const Encoding &encoding, const QString &text)
{
    QStringEncoder encoder(encoding.name());
    return encoder.encode(text);
}

struct Line {
    QByteArray content;
    QByteArray end; // CR LF, LF or CR in the file's encoding; empty for a last line without one
    bool operator==(const Line &) const = default;
};

// Independent of the program's own parser on purpose: lines are compared as the bytes that
// a text editor would show, terminators kept apart. A code unit that the file cuts short
// belongs to its last line.
QList<Line> splitLines(const QByteArray &bytes, const Encoding &encoding)
{
    const qsizetype unit = encoding.unit();
    const auto byte = [&](qsizetype at) { return char16_t(uchar(bytes[at])); };
    const auto unitAt = [&](qsizetype at) -> char16_t {
        if (at + unit > bytes.size())
            return 0;
        if (encoding.kind == Encoding::Utf16LE)
            return char16_t(byte(at) | byte(at + 1) << 8);
        if (encoding.kind == Encoding::Utf16BE)
            return char16_t(byte(at) << 8 | byte(at + 1));
        return byte(at);
    };
    QList<Line> lines;
    qsizetype pos = encoding.mark;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end + unit <= bytes.size() && unitAt(end) != u'\r' && unitAt(end) != u'\n')
            end += unit;
        if (end + unit > bytes.size())
            end = bytes.size();
        qsizetype next = end;
        if (unitAt(end) == u'\r')
            next += unitAt(end + unit) == u'\n' ? 2 * unit : unit;
        else if (unitAt(end) == u'\n')
            next += unit;
        lines.append({bytes.mid(pos, end - pos), bytes.mid(end, next - end)});
        pos = next;
    }
    return lines;
}

QByteArray lineEndOf(const QList<Line> &lines, const Encoding &encoding)
{
    for (const Line &line : lines) {
        if (!line.end.isEmpty())
            return line.end;
    }
    return encodeIn(encoding, QStringLiteral("\r\n"));
}

QString consumeText(FuzzedDataProvider &input, size_t maxBytes)
{
    return decodeIn(Encoding(), input.ConsumeRandomLengthString(maxBytes));
}

bool hasLineBreakOrNull(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

// What the writer must refuse, and nothing else: empty names, anything that would need a
// second line, and key names that would read as a comment, a section header or another key.
bool isUnstorable(const QString &section, const QString &key, const QString &value)
{
    const QString name = key.trimmed();
    return section.trimmed().isEmpty() || name.isEmpty() || hasLineBreakOrNull(section)
        || hasLineBreakOrNull(key) || hasLineBreakOrNull(value) || name.contains(QLatin1Char('='))
        || name.startsWith(QLatin1Char(';')) || name.startsWith(QLatin1Char('['));
}

// A write may also be refused where the file's encoding stands in the way.
bool encodingForbids(const QByteArray &file, const QString &section, const QString &key, const QString &value)
{
    const Encoding encoding = encodingOf(file);
    if ((file.size() - encoding.mark) % encoding.unit() != 0)
        return true;
    if (encoding.kind != Encoding::Windows1252)
        return false;
    if (!canHold(encoding, section) || !canHold(encoding, key) || !canHold(encoding, value))
        return true;
    // One line holds every byte that is no UTF-8: rewritten, the file may read as UTF-8.
    int linesNotUtf8 = 0;
    for (const Line &line : splitLines(file, encoding))
        linesNotUtf8 += isValidUtf8(line.content) ? 0 : 1;
    return linesNotUtf8 <= 1;
}

bool isLineOfKey(const Line &line, const Encoding &encoding, const QString &key)
{
    const QString text = decodeIn(encoding, line.content);
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    return equals > 0 && text.left(equals).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0;
}

bool endWith(const QList<Line> &lines, qsizetype from, qsizetype to, const QByteArray &end)
{
    for (qsizetype i = from; i < to; ++i) {
        if (lines[i].end != end)
            return false;
    }
    return true;
}

// The write either rewrote one line (the key's, which keeps its line end), or added the key
// (and maybe its section) at one place, ending as the line before; a last line without a
// terminator may have gained the file's first one before the addition.
void requireOtherLinesKept(const QByteArray &before, const QByteArray &after, const QString &key)
{
    if (after == before)
        return; // the key already held the value, spelled the same way
    const Encoding oldEncoding = encodingOf(before);
    const Encoding newEncoding = encodingOf(after);
    require(after.left(newEncoding.mark) == before.left(oldEncoding.mark), "the byte-order mark changed");
    const QList<Line> oldLines = splitLines(before, oldEncoding);
    const QList<Line> newLines = splitLines(after, newEncoding);
    const QByteArray lineEnd = lineEndOf(oldLines, oldEncoding);
    const qsizetype n = oldLines.size();
    const qsizetype m = newLines.size();
    qsizetype prefix = 0;
    while (prefix < n && prefix < m && oldLines[prefix] == newLines[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix && oldLines[n - 1 - suffix] == newLines[m - 1 - suffix])
        ++suffix;
    const qsizetype oldChanged = n - prefix - suffix;
    const qsizetype newChanged = m - prefix - suffix;
    require(newChanged > 0 && isLineOfKey(newLines[m - suffix - 1], newEncoding, key),
        "the key's line is not where it changed");
    if (oldChanged == 1 && newChanged == 1) {
        require(isLineOfKey(oldLines[prefix], oldEncoding, key), "a line of another key was replaced");
        const QByteArray &oldEnd = oldLines[prefix].end;
        require(
            newLines[prefix].end == (oldEnd.isEmpty() ? lineEnd : oldEnd), "the key's line changed its end");
        return;
    }
    if (oldChanged == 0) {
        // Added after a line with a line end: they end as that line does.
        const QByteArray previousEnd = prefix > 0 ? oldLines[prefix - 1].end : QByteArray();
        require(endWith(newLines, prefix, m - suffix, previousEnd.isEmpty() ? lineEnd : previousEnd),
            "an added line does not end as the line before it");
        require(newChanged == 1 || newChanged == 2, "more than a section and a key were added");
        return;
    }
    require(oldChanged == 1 && suffix == 0 && oldLines[prefix].end.isEmpty(), "other lines were changed");
    require(endWith(newLines, prefix, m, lineEnd), "an added line does not end as the file's first line");
    require(newLines[prefix].content == oldLines[prefix].content, "the last line was changed");
    require(newChanged == 2 || newChanged == 3, "more than a section and a key were added");
}

// The default holds a line break, which no stored value can, and is never cut.
QString unlimitedRead(const QString &path, const QString &section, const QString &key, const QString &value)
{
    const QString missing = QStringLiteral("\n<missing>");
    const int size = static_cast<int>(qMax(value.size(), missing.size())) + 1;
    return modIniHandler::ReadIniValue(path, section, key, missing, size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString section = consumeText(input, MaxNameBytes);
    const QString key = consumeText(input, MaxNameBytes);
    const QString value = consumeText(input, MaxValueBytes);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray before(rest.data(), static_cast<qsizetype>(rest.size()));

    const QString &path = scratchFile();
    writeFile(path, before);
    const QString setting = modIniHandler::ReadIniValue(path, section, key, QString(), 256);
    require(setting.size() <= 255, "a read gave more than 255 characters");

    if (!modIniHandler::WriteIniValue(path, section, key, value)) {
        require(isUnstorable(section, key, value) || encodingForbids(before, section, key, value),
            "a storable value was refused");
        require(readFile(path) == before, "a refused write changed the file");
        return 0;
    }
    require(!isUnstorable(section, key, value), "a value that cannot be read back was written");
    require(unlimitedRead(path, section, key, value) == value, "the written value does not read back");
    requireOtherLinesKept(before, readFile(path), key);
    return 0;
}

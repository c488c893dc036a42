// Fuzz target for the INI reader and writer behind the settings and language files.
//
// Input: section, key and value, each ended by a backslash followed by any other character
// ("\\" stands for one backslash), then the bytes of the file. A seed therefore reads like
//     Options\ Save\ 0\ <file bytes>
//
// Each input is one read of the file as it is, one write of the key, and a read back:
// - a read of any file gives at most 255 characters and never crashes;
// - a refused write leaves the file alone and happens only for the names and values that
//   could not be stored on one line;
// - an accepted write reads back exactly as written, and every other line of the file is
//   still there byte for byte, in its place.
#include "config/modIniHandler.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

namespace
{

constexpr size_t MaxNameBytes = 64;
constexpr size_t MaxValueBytes = 512;
const QByteArray LineEnd("\r\n");

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

struct Line {
    QByteArray content;
    QByteArray end; // "\r\n", "\n", "\r" or empty for a last line without one
    bool operator==(const Line &) const = default;
};

// Independent of the program's own parser on purpose: lines are compared as the bytes that
// a text editor would show, terminators kept apart.
QList<Line> splitLines(const QByteArray &bytes)
{
    QList<Line> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        qsizetype next = end;
        if (next < bytes.size())
            next += bytes.mid(end, 2) == LineEnd ? 2 : 1;
        lines.append({bytes.mid(pos, end - pos), bytes.mid(end, next - end)});
        pos = next;
    }
    return lines;
}

// A byte-order mark inside a name or a value is a character like any other.
QString decodeText(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QString consumeText(FuzzedDataProvider &input, size_t maxBytes)
{
    return decodeText(input.ConsumeRandomLengthString(maxBytes));
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

bool isLineOfKey(const Line &line, const QString &key)
{
    const qsizetype equals = line.content.indexOf('=');
    return equals > 0
        && decodeText(line.content.left(equals)).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0;
}

bool endsWithLineEnd(const QList<Line> &lines, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        if (lines[i].end != LineEnd)
            return false;
    }
    return true;
}

// The write either rewrote one line (the key's), or added the key (and maybe its section)
// at one place; a last line without a terminator may have gained one before the addition.
void requireOtherLinesKept(const QByteArray &before, const QByteArray &after, const QString &key)
{
    if (after == before)
        return; // the key already held the value, spelled the same way
    const QList<Line> oldLines = splitLines(before);
    const QList<Line> newLines = splitLines(after);
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
    require(endsWithLineEnd(newLines, prefix, m - suffix), "a written line does not end in CR LF");
    require(newChanged > 0 && isLineOfKey(newLines[m - suffix - 1], key),
        "the key's line is not where it changed");
    if (oldChanged == 1 && newChanged == 1) {
        require(isLineOfKey(oldLines[prefix], key), "a line of another key was replaced");
        return;
    }
    if (oldChanged == 0) {
        require(newChanged == 1 || newChanged == 2, "more than a section and a key were added");
        return;
    }
    require(oldChanged == 1 && suffix == 0 && oldLines[prefix].end.isEmpty(), "other lines were changed");
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
        require(isUnstorable(section, key, value), "a storable value was refused");
        require(readFile(path) == before, "a refused write changed the file");
        return 0;
    }
    require(!isUnstorable(section, key, value), "a value that cannot be read back was written");
    require(unlimitedRead(path, section, key, value) == value, "the written value does not read back");
    requireOtherLinesKept(before, readFile(path), key);
    return 0;
}

#include "config/IniDocument.h"

#include <QStringDecoder>

namespace modIniHandler
{

namespace
{

const QByteArray Utf8Bom("\xEF\xBB\xBF");
const QByteArray LineEnd("\r\n");

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString decodeIniText(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

IniDocument::IniDocument(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    splitLines();
}

// Lines end in CR LF, LF or a lone CR; a last line without a terminator counts too.
void IniDocument::splitLines()
{
    const QByteArrayView bytes(m_bytes);
    const qsizetype size = bytes.size();
    qsizetype pos = m_bytes.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
    qsizetype begin = 0;
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        Line line = parseLine(bytes.sliced(pos, end - pos));
        line.begin = begin;
        line.terminated = end < size;
        line.next = end;
        if (end < size)
            line.next += (bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n') ? 2 : 1;
        m_lines.append(line);
        pos = begin = line.next;
    }
}

IniDocument::Line IniDocument::parseLine(QByteArrayView content)
{
    Line line;
    const QByteArrayView text = content.trimmed();
    if (text.isEmpty())
        return line;
    if (text.front() == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    if (text.front() == '[') {
        const qsizetype close = text.lastIndexOf(']');
        if (close > 0) {
            line.kind = Kind::Section;
            line.name = decodeIniText(text.sliced(1, close - 1)).trimmed();
            return line;
        }
    }
    const qsizetype equals = text.indexOf('=');
    line.kind = Kind::Other;
    if (equals > 0) {
        line.name = decodeIniText(text.first(equals)).trimmed();
        if (!line.name.isEmpty()) {
            line.kind = Kind::Key;
            line.value = text.sliced(equals + 1).trimmed().toByteArray();
        }
    }
    return line;
}

// Repeated sections are searched in order for the key; a missing key belongs at the end of
// the first of them.
IniDocument::Position IniDocument::locate(const QString &section, const QString &key) const
{
    Position found;
    bool inSection = false;
    bool inFirstSection = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines[i];
        if (line.kind == Kind::Section) {
            inSection = sameName(line.name, section);
            inFirstSection = inSection && found.lastEntryLine < 0;
            if (inFirstSection)
                found.lastEntryLine = i;
            continue;
        }
        if (inFirstSection && (line.kind == Kind::Key || line.kind == Kind::Other))
            found.lastEntryLine = i;
        if (inSection && line.kind == Kind::Key && sameName(line.name, key)) {
            found.keyLine = i;
            return found;
        }
    }
    return found;
}

std::optional<QByteArray> IniDocument::rawValue(const QString &section, const QString &key) const
{
    const Position found = locate(section.trimmed(), key.trimmed());
    if (found.keyLine < 0)
        return std::nullopt;
    return m_lines[found.keyLine].value;
}

QByteArray IniDocument::withValue(
    const QString &section, const QString &key, const QByteArray &valueText) const
{
    const Position found = locate(section.trimmed(), key.trimmed());
    QByteArray result = m_bytes;
    if (found.keyLine >= 0) {
        // The key keeps the spelling it has in the file; only its line is rewritten.
        const Line &line = m_lines[found.keyLine];
        const QByteArray newLine = line.name.toUtf8() + '=' + valueText + LineEnd;
        return result.replace(line.begin, line.next - line.begin, newLine);
    }
    const QByteArray entry = key.trimmed().toUtf8() + '=' + valueText + LineEnd;
    if (found.lastEntryLine >= 0) {
        const Line &line = m_lines[found.lastEntryLine];
        return result.insert(line.next, line.terminated ? entry : LineEnd + entry);
    }
    if (!result.isEmpty() && !result.endsWith('\n') && !result.endsWith('\r'))
        result += LineEnd;
    return result + '[' + section.trimmed().toUtf8() + ']' + LineEnd + entry;
}

} // namespace modIniHandler

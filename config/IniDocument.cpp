#include "config/IniDocument.h"

namespace modIniHandler
{

namespace
{

const QString CrLf = QStringLiteral("\r\n");

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The profile reader trims the blanks of the C locale only; a no-break space, for one, stays.
QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && isBlank(text.at(first)))
        ++first;
    while (end > first && isBlank(text.at(end - 1)))
        --end;
    return text.sliced(first, end - first);
}

} // namespace

IniDocument::IniDocument(QByteArray bytes)
    : m_bytes(std::move(bytes))
    , m_encoding(IniEncoding::Detect(m_bytes))
{
    splitLines();
}

// The length of the line end (CR LF, LF or a lone CR) at pos, in bytes; 0 for none.
qsizetype IniDocument::lineEndAt(qsizetype pos) const
{
    const qsizetype unit = m_encoding.unitSize();
    if (pos + unit > m_bytes.size())
        return 0;
    const char16_t c = m_encoding.unitAt(m_bytes, pos);
    if (c == u'\n')
        return unit;
    if (c != u'\r')
        return 0;
    const bool lf = pos + 2 * unit <= m_bytes.size() && m_encoding.unitAt(m_bytes, pos + unit) == u'\n';
    return lf ? 2 * unit : unit;
}

// A last line without a line end counts too; so do the bytes of a last code unit that the
// file cuts short.
void IniDocument::splitLines()
{
    const qsizetype size = m_bytes.size();
    const qsizetype unit = m_encoding.unitSize();
    qsizetype pos = m_encoding.markSize();
    while (pos < size) {
        qsizetype end = pos;
        while (end + unit <= size && lineEndAt(end) == 0)
            end += unit;
        if (end + unit > size)
            end = size;
        Line line = parseLine(m_encoding.decode(QByteArrayView(m_bytes).sliced(pos, end - pos)));
        line.begin = pos;
        line.end = end;
        line.next = end + lineEndAt(end);
        m_lines.append(line);
        pos = line.next;
    }
}

IniDocument::Line IniDocument::parseLine(const QString &content)
{
    Line line;
    const QString text = trimBlanks(content);
    if (text.isEmpty())
        return line;
    if (text.front() == u';') {
        line.kind = Kind::Comment;
        return line;
    }
    if (text.front() == u'[') {
        const qsizetype close = text.lastIndexOf(u']');
        if (close > 0) {
            line.kind = Kind::Section;
            line.name = text.sliced(1, close - 1).trimmed();
            return line;
        }
    }
    const qsizetype equals = text.indexOf(u'=');
    line.kind = Kind::Other;
    if (equals > 0) {
        line.name = text.first(equals).trimmed();
        if (!line.name.isEmpty()) {
            line.kind = Kind::Key;
            line.value = trimBlanks(text.sliced(equals + 1));
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

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const Position found = locate(section.trimmed(), key.trimmed());
    if (found.keyLine < 0)
        return std::nullopt;
    return m_lines[found.keyLine].value;
}

std::optional<QByteArray> IniDocument::rawValue(const QString &section, const QString &key) const
{
    const std::optional<QString> text = value(section, key);
    return text ? std::optional<QByteArray>(text->toUtf8()) : std::nullopt;
}

QByteArray IniDocument::lineEndOf(const Line &line) const
{
    return m_bytes.sliced(line.end, line.next - line.end);
}

// The line end for a line that is added where the line before has none: the file's first
// one, CR LF in a file without any (the encoding holds both characters).
QByteArray IniDocument::fileLineEnd() const
{
    for (const Line &line : m_lines) {
        if (line.terminated())
            return lineEndOf(line);
    }
    return m_encoding.encode(CrLf).value_or(QByteArray());
}

std::optional<QByteArray> IniDocument::withValue(
    const QString &section, const QString &key, const QString &valueText) const
{
    // A UTF-16 file cut in the middle of a code unit would be shifted by anything inserted.
    if ((m_bytes.size() - m_encoding.markSize()) % m_encoding.unitSize() != 0)
        return std::nullopt;
    std::optional<QByteArray> result = changed(section, key, valueText);
    // Only a file whose encoding is a guess can read otherwise after the change: a
    // Windows-1252 file whose last bytes that are no UTF-8 were on the changed line.
    if (result && IniDocument(*result).value(section, key) != valueText)
        return std::nullopt;
    return result;
}

std::optional<QByteArray> IniDocument::changed(
    const QString &section, const QString &key, const QString &valueText) const
{
    const Position found = locate(section.trimmed(), key.trimmed());
    if (found.keyLine >= 0)
        return withLineRewritten(m_lines[found.keyLine], valueText);
    const std::optional<QByteArray> entry = m_encoding.encode(key.trimmed() + u'=' + valueText);
    if (!entry)
        return std::nullopt;
    if (found.lastEntryLine >= 0)
        return withLineAfter(m_lines[found.lastEntryLine], *entry);
    return withSectionAdded(section, *entry);
}

// The key keeps the spelling it has in the file, and its line keeps its line end.
std::optional<QByteArray> IniDocument::withLineRewritten(const Line &line, const QString &valueText) const
{
    const std::optional<QByteArray> text = m_encoding.encode(line.name + u'=' + valueText);
    if (!text)
        return std::nullopt;
    const QByteArray end = line.terminated() ? lineEndOf(line) : fileLineEnd();
    return QByteArray(m_bytes).replace(line.begin, line.next - line.begin, *text + end);
}

// An added line ends as the line before it. A lone CR of the file's first line end could
// join a line end of LF that follows into one.
QByteArray IniDocument::withLineAfter(const Line &line, const QByteArray &entry) const
{
    const QByteArray inserted
        = line.terminated() ? entry + lineEndOf(line) : fileLineEnd() + entry + fileLineEnd();
    return QByteArray(m_bytes).insert(line.next, inserted);
}

std::optional<QByteArray> IniDocument::withSectionAdded(const QString &section, const QByteArray &entry) const
{
    const std::optional<QByteArray> header = m_encoding.encode(u'[' + section.trimmed() + u']');
    if (!header)
        return std::nullopt;
    QByteArray result = m_bytes;
    QByteArray end = fileLineEnd();
    if (!m_lines.isEmpty() && m_lines.last().terminated())
        end = lineEndOf(m_lines.last());
    else if (!m_lines.isEmpty())
        result += end;
    return result + *header + end + entry + end;
}

} // namespace modIniHandler

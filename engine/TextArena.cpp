#include "engine/TextArena.h"

#include <QVarLengthArray>
#include <algorithm>

void TextArena::append(QStringView text)
{
    const bool latin1 = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
    if (latin1) {
        QVarLengthArray<char, 256> narrow(text.size());
        std::transform(text.begin(), text.end(), narrow.begin(), [](QChar c) { return char(c.unicode()); });
        m_bytes.append(narrow.data(), narrow.size());
    } else {
        m_bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    m_ends.append(quint64(m_bytes.size()) | (latin1 ? 0 : Wide));
}

QString TextArena::at(qsizetype i) const
{
    const qsizetype begin = beginOf(i);
    const qsizetype bytes = qsizetype(m_ends[i] & ~Wide) - begin;
    if (m_ends[i] & Wide) {
        QString text(bytes / 2, Qt::Uninitialized);
        m_bytes.read(begin, bytes, reinterpret_cast<char *>(text.data()));
        return text;
    }
    QVarLengthArray<char, 256> narrow(bytes);
    m_bytes.read(begin, bytes, narrow.data());
    return QString::fromLatin1(narrow.data(), bytes);
}

void TextArena::removeLast()
{
    if (isEmpty())
        return;
    m_bytes.truncate(beginOf(size() - 1));
    m_ends.truncate(size() - 1);
}

void TextArena::clear()
{
    m_bytes.clear();
    m_ends.clear();
}

#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstring>
#include <vector>

namespace modFSO
{

// The names of a folder's files as the listing read them, kept in one block of bytes with a
// NUL after each name: a run over a million files holds its list in about the bytes of the
// names, where a list of separate byte arrays would take some 70 bytes more per name.
class NameList
{
public:
    qsizetype size() const { return qsizetype(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }
    // A view of the name, valid while the list lives and is not changed; its data ends in NUL.
    QByteArray at(qsizetype index) const
    {
        const quint32 start = index == 0 ? 0 : m_ends[size_t(index - 1)] + 1;
        return QByteArray::fromRawData(m_bytes.constData() + start, qsizetype(m_ends[size_t(index)] - start));
    }
    void append(const char *name, size_t length)
    {
        m_bytes.append(name, qsizetype(length));
        m_ends.push_back(quint32(m_bytes.size()));
        m_bytes.append('\0');
    }
    void append(const char *name) { append(name, std::strlen(name)); }

    // By the names' text without regard to case, as a person looks for them; names that differ
    // only in case, or only in bytes that are no text, keep the order of their bytes.
    void sortByName();

private:
    QByteArray m_bytes;
    std::vector<quint32> m_ends;
};

} // namespace modFSO

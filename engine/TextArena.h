#pragma once

#include "engine/PagedArray.h"

#include <QString>
#include <QStringView>

// A list of texts that grows and shrinks only at its end, kept without a string object per
// text: the characters of all texts lie one after the other in pages of bytes, one byte per
// character for texts that Latin-1 holds whole, two (UTF-16) for the others, and each text
// costs eight bytes more for where it ends. Every text reads back exactly as it was given.
class TextArena
{
public:
    qsizetype size() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }

    void append(QStringView text);
    QString at(qsizetype i) const;
    QString last() const { return at(size() - 1); }
    void removeLast();
    void clear();

private:
    // The high bit of an end marks a text kept as UTF-16.
    static constexpr quint64 Wide = quint64(1) << 63;

    qsizetype beginOf(qsizetype i) const { return i == 0 ? 0 : qsizetype(m_ends[i - 1] & ~Wide); }

    PagedArray<char, 16> m_bytes;
    PagedArray<quint64, 13> m_ends;
};

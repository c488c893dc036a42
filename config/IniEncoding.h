#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace modIniHandler
{

// How the bytes of a settings or language file stand for text. This program writes UTF-8;
// files from other hands may be in the code page of an old Windows editor (Windows-1252, of
// which Latin-1 is a part), or UTF-16 with a byte-order mark. A file that is valid UTF-8 is
// read as UTF-8 (plain ASCII included); any other file without a mark as Windows-1252, which
// gives every byte a character of its own, so that nothing is lost on the way back.
class IniEncoding
{
public:
    enum class Kind { Utf8, Windows1252, Utf16LE, Utf16BE };

    static IniEncoding Detect(QByteArrayView bytes);

    Kind kind() const { return m_kind; }
    // The bytes of the byte-order mark at the start of the file (0 without one).
    qsizetype markSize() const { return m_markSize; }
    // The bytes of one code unit: 2 for UTF-16, 1 otherwise.
    qsizetype unitSize() const { return m_kind == Kind::Utf16LE || m_kind == Kind::Utf16BE ? 2 : 1; }
    // The code unit that starts at pos; pos + unitSize() must lie within the bytes.
    char16_t unitAt(QByteArrayView bytes, qsizetype pos) const;

    // A byte-order mark within the text is a character like any other: only the one at the
    // very start of the file marks the encoding.
    QString decode(QByteArrayView bytes) const;
    // Absent when the text holds a character that the encoding cannot hold.
    std::optional<QByteArray> encode(QStringView text) const;

private:
    IniEncoding(Kind kind, qsizetype markSize)
        : m_kind(kind)
        , m_markSize(markSize)
    {
    }

    Kind m_kind;
    qsizetype m_markSize;
};

} // namespace modIniHandler

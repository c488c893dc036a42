#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace modIniHandler
{

// A name or a value of the file as text. A byte-order mark within a line is a character like
// any other (only the one at the very start of the file marks the encoding), so that a name
// or value that begins with U+FEFF reads back as written.
QString decodeIniText(QByteArrayView bytes);

// The bytes of one INI file, split into lines and read the way the platform's profile reader
// reads them. Changes come back as a new byte array in which every line that was not
// changed is kept byte for byte, so that foreign content of the file survives a write.
class IniDocument
{
public:
    explicit IniDocument(QByteArray bytes);

    // The raw value text of key in section (blanks trimmed, quotes still on); the first
    // occurrence wins when a key or section is repeated.
    std::optional<QByteArray> rawValue(const QString &section, const QString &key) const;

    // The whole file with key of section set to valueText (already encoded and quoted).
    QByteArray withValue(const QString &section, const QString &key, const QByteArray &valueText) const;

private:
    enum class Kind { Blank, Comment, Section, Key, Other };

    struct Line {
        qsizetype begin = 0; // first byte of the line
        qsizetype next = 0; // first byte after the line's terminator
        bool terminated = false;
        Kind kind = Kind::Blank;
        QString name; // section or key name
        QByteArray value; // a key's value, blanks trimmed
    };

    struct Position {
        qsizetype keyLine = -1; // the line that holds the key
        qsizetype lastEntryLine = -1; // the last entry of the first matching section
    };

    void splitLines();
    static Line parseLine(QByteArrayView content);
    Position locate(const QString &section, const QString &key) const;

    QByteArray m_bytes;
    QList<Line> m_lines;
};

} // namespace modIniHandler

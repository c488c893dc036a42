#pragma once

#include "config/IniEncoding.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace modIniHandler
{

// The bytes of one INI file, split into lines and read the way the platform's profile reader
// reads them, in the file's own encoding (IniEncoding). Changes come back as a new byte array
// in that encoding, in which every line that was not changed is kept byte for byte, so that
// foreign content of the file survives a write.
class IniDocument
{
public:
    explicit IniDocument(QByteArray bytes);

    // The value text of key in section (blanks trimmed, quotes still on); the first
    // occurrence wins when a key or section is repeated.
    std::optional<QString> value(const QString &section, const QString &key) const;
    // The same in UTF-8.
    std::optional<QByteArray> rawValue(const QString &section, const QString &key) const;

    // The whole file with key of section set to valueText (already quoted). A rewritten line
    // keeps its line end; an added line takes that of the line before it, and where that one
    // has none (the last line) the file's first line end (CR LF in a file without one).
    // Absent when the text cannot be written in the file's encoding so that it reads back as
    // written.
    std::optional<QByteArray> withValue(
        const QString &section, const QString &key, const QString &valueText) const;

private:
    enum class Kind { Blank, Comment, Section, Key, Other };

    struct Line {
        qsizetype begin = 0; // first byte of the line
        qsizetype end = 0; // first byte of its line end
        qsizetype next = 0; // first byte after its line end
        Kind kind = Kind::Blank;
        QString name; // section or key name
        QString value; // a key's value, blanks trimmed

        bool terminated() const { return next > end; }
    };

    struct Position {
        qsizetype keyLine = -1; // the line that holds the key
        qsizetype lastEntryLine = -1; // the last entry of the first matching section
    };

    void splitLines();
    qsizetype lineEndAt(qsizetype pos) const;
    static Line parseLine(const QString &content);
    Position locate(const QString &section, const QString &key) const;
    QByteArray lineEndOf(const Line &line) const;
    QByteArray fileLineEnd() const;
    std::optional<QByteArray> changed(
        const QString &section, const QString &key, const QString &valueText) const;
    std::optional<QByteArray> withLineRewritten(const Line &line, const QString &valueText) const;
    QByteArray withLineAfter(const Line &line, const QByteArray &entry) const;
    std::optional<QByteArray> withSectionAdded(const QString &section, const QByteArray &entry) const;

    QByteArray m_bytes;
    IniEncoding m_encoding;
    QList<Line> m_lines;
};

} // namespace modIniHandler

#include "config/IniEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <array>

namespace modIniHandler
{

namespace
{

const QByteArray Utf8Mark("\xEF\xBB\xBF");
const QByteArray Utf16LEMark("\xFF\xFE");
const QByteArray Utf16BEMark("\xFE\xFF");

// The characters of the bytes 0x80 to 0x9F in Windows-1252. The five bytes that the code
// page leaves free stand for the control characters of the same number, as Windows reads them.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

bool isUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    Q_UNUSED(text);
    return !decoder.hasError();
}

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar byte = static_cast<uchar>(bytes[i]);
        text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

std::optional<char> windows1252Byte(char16_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<char>(character);
    for (std::size_t i = 0; i < Windows1252High.size(); ++i) {
        if (Windows1252High[i] == character)
            return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

std::optional<QByteArray> encodeWindows1252(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar character : text) {
        const std::optional<char> byte = windows1252Byte(character.unicode());
        if (!byte)
            return std::nullopt;
        bytes.append(*byte);
    }
    return bytes;
}

QStringConverter::Encoding qtEncoding(IniEncoding::Kind kind)
{
    switch (kind) {
    case IniEncoding::Kind::Utf16LE:
        return QStringConverter::Utf16LE;
    case IniEncoding::Kind::Utf16BE:
        return QStringConverter::Utf16BE;
    default:
        return QStringConverter::Utf8;
    }
}

} // namespace

IniEncoding IniEncoding::Detect(QByteArrayView bytes)
{
    if (bytes.startsWith(Utf16LEMark))
        return IniEncoding(Kind::Utf16LE, Utf16LEMark.size());
    if (bytes.startsWith(Utf16BEMark))
        return IniEncoding(Kind::Utf16BE, Utf16BEMark.size());
    if (bytes.startsWith(Utf8Mark))
        return IniEncoding(Kind::Utf8, Utf8Mark.size());
    return IniEncoding(isUtf8(bytes) ? Kind::Utf8 : Kind::Windows1252, 0);
}

char16_t IniEncoding::unitAt(QByteArrayView bytes, qsizetype pos) const
{
    const auto byte = [&](qsizetype at) { return static_cast<char16_t>(static_cast<uchar>(bytes[at])); };
    switch (m_kind) {
    case Kind::Utf16LE:
        return char16_t(byte(pos) | byte(pos + 1) << 8);
    case Kind::Utf16BE:
        return char16_t(byte(pos) << 8 | byte(pos + 1));
    default:
        return byte(pos);
    }
}

QString IniEncoding::decode(QByteArrayView bytes) const
{
    if (m_kind == Kind::Windows1252)
        return decodeWindows1252(bytes);
    QStringDecoder decoder(qtEncoding(m_kind), QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

std::optional<QByteArray> IniEncoding::encode(QStringView text) const
{
    if (m_kind == Kind::Windows1252)
        return encodeWindows1252(text);
    QStringEncoder encoder(qtEncoding(m_kind));
    return QByteArray(encoder.encode(text));
}

} // namespace modIniHandler

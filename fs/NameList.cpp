#include "fs/NameList.h"

#include "fs/PosixSupport.h"

#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <numeric>
#include <string_view>

namespace modFSO
{

namespace
{

bool isAscii(QByteArrayView name)
{
    for (const char c : name) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

char16_t foldedAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char16_t(c - 'A' + 'a') : char16_t(c);
}

// The case-folded text of a name: for a name of plain ASCII its own bytes, folded as they are
// read; for any other its folded UTF-16 text.
struct FoldedName {
    std::string_view ascii;
    std::u16string_view text;
    bool isAscii = true;

    size_t size() const { return isAscii ? ascii.size() : text.size(); }
    char16_t at(size_t i) const { return isAscii ? foldedAscii(ascii[i]) : text[i]; }
};

int compareFolded(const FoldedName &a, const FoldedName &b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const char16_t x = a.at(i);
        const char16_t y = b.at(i);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

void NameList::sortByName()
{
    const size_t count = m_ends.size();
    // The case-folded text of every name that is not plain ASCII, in one block of UTF-16 code
    // units (a name has no more code units than bytes); plain ASCII names, most names, are
    // folded as they are compared and need no copy.
    std::vector<char16_t> keys;
    std::vector<quint32> keyEnds(count);
    std::vector<bool> ascii(count);
    for (size_t i = 0; i < count; ++i) {
        const QByteArray name = at(qsizetype(i));
        ascii[i] = isAscii(name);
        if (!ascii[i]) {
            const QString key = detail::decodedPath(name).toCaseFolded();
            keys.insert(keys.end(), key.utf16(), key.utf16() + key.size());
        }
        keyEnds[i] = quint32(keys.size());
    }
    const auto bytesOf = [&](quint32 i) {
        const QByteArray name = at(i);
        return std::string_view(name.constData(), size_t(name.size()));
    };
    const auto foldedOf = [&](quint32 i) {
        if (ascii[i])
            return FoldedName {bytesOf(i), {}, true};
        const quint32 start = i == 0 ? 0 : keyEnds[i - 1];
        return FoldedName {{}, std::u16string_view(keys.data() + start, keyEnds[i] - start), false};
    };
    std::vector<quint32> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const int byText = compareFolded(foldedOf(a), foldedOf(b));
        return byText != 0 ? byText < 0 : bytesOf(a) < bytesOf(b);
    });
    keys = {};
    keyEnds = {};
    ascii = {};

    NameList sorted;
    sorted.m_bytes.reserve(m_bytes.size());
    sorted.m_ends.reserve(count);
    for (quint32 index : order) {
        const QByteArray name = at(index);
        sorted.append(name.constData(), size_t(name.size()));
    }
    *this = std::move(sorted);
}

} // namespace modFSO

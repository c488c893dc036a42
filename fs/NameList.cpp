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

char foldedAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The case-folded text of a name: for a name of plain ASCII its bytes, folded already; for any
// other its folded UTF-16 text.
struct FoldedName {
    std::string_view ascii;
    std::u16string_view text;
    bool isAscii = true;

    size_t size() const { return isAscii ? ascii.size() : text.size(); }
    char16_t at(size_t i) const { return isAscii ? char16_t(ascii[i]) : text[i]; }
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
    // The case-folded text of every name: for a plain ASCII name, most names, its bytes with
    // capitals made small, kept in a block beside the names; for any other its folded UTF-16
    // text, in a block of code units (a name has no more code units than bytes).
    QByteArray foldedBytes(m_bytes.size(), Qt::Uninitialized);
    std::vector<char16_t> keys;
    std::vector<quint32> keyEnds(count);
    std::vector<bool> ascii(count);
    for (size_t i = 0; i < count; ++i) {
        const QByteArray name = at(qsizetype(i));
        ascii[i] = isAscii(name);
        if (ascii[i]) {
            const quint32 start = i == 0 ? 0 : m_ends[i - 1] + 1;
            std::transform(name.begin(), name.end(), foldedBytes.begin() + start, foldedAscii);
        } else {
            const QString key = detail::decodedPath(name).toCaseFolded();
            keys.insert(keys.end(), key.utf16(), key.utf16() + key.size());
        }
        keyEnds[i] = quint32(keys.size());
    }
    // Straight from the blocks: the sort compares some names many times.
    const auto viewOf = [&](const QByteArray &block, quint32 i) {
        const quint32 start = i == 0 ? 0 : m_ends[i - 1] + 1;
        return std::string_view(block.constData() + start, m_ends[i] - start);
    };
    const auto bytesOf = [&](quint32 i) { return viewOf(m_bytes, i); };
    const auto foldedOf = [&](quint32 i) {
        if (ascii[i])
            return FoldedName {viewOf(foldedBytes, i), {}, true};
        const quint32 start = i == 0 ? 0 : keyEnds[i - 1];
        return FoldedName {{}, std::u16string_view(keys.data() + start, keyEnds[i] - start), false};
    };
    std::vector<quint32> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const int byText = ascii[a] && ascii[b] ? viewOf(foldedBytes, a).compare(viewOf(foldedBytes, b))
                                                : compareFolded(foldedOf(a), foldedOf(b));
        return byText != 0 ? byText < 0 : bytesOf(a) < bytesOf(b);
    });
    foldedBytes = {};
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

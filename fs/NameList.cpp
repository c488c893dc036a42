#include "fs/NameList.h"

#include "fs/PosixSupport.h"

#include <QString>
#include <algorithm>
#include <numeric>
#include <string_view>

namespace modFSO
{

void NameList::sortByName()
{
    const size_t count = m_ends.size();
    // The case-folded text of every name, in one block of UTF-16 code units: a name has no
    // more code units than it has bytes, so the block never grows.
    std::vector<char16_t> keys;
    keys.reserve(size_t(m_bytes.size()));
    std::vector<quint32> keyEnds(count);
    for (size_t i = 0; i < count; ++i) {
        const QString key = detail::decodedPath(at(qsizetype(i))).toCaseFolded();
        keys.insert(keys.end(), key.utf16(), key.utf16() + key.size());
        keyEnds[i] = quint32(keys.size());
    }
    const auto keyOf = [&](quint32 i) {
        const quint32 start = i == 0 ? 0 : keyEnds[i - 1];
        return std::u16string_view(keys.data() + start, keyEnds[i] - start);
    };
    const auto bytesOf = [&](quint32 i) {
        const QByteArray name = at(i);
        return std::string_view(name.constData(), size_t(name.size()));
    };
    std::vector<quint32> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        const int byText = keyOf(a).compare(keyOf(b));
        return byText != 0 ? byText < 0 : bytesOf(a) < bytesOf(b);
    });
    keys = {};
    keyEnds = {};

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

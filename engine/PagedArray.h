#pragma once

#include <QtGlobal>
#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

// A growing array of plain values kept in pages of 2^PageBits values. Growing never moves what
// is kept: a vector that doubles holds the old and the new copy at once, and keeps up to half
// of its room unused, which for the lines of a long log is more than the lines themselves.
// Shrinking keeps the pages for the next values (a log replaces its newest line all the time);
// only clear() gives them back.
template <typename T, int PageBits> class PagedArray
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr qsizetype PageSize = qsizetype(1) << PageBits;

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    const T &operator[](qsizetype i) const { return m_pages[i >> PageBits][i & (PageSize - 1)]; }
    T &operator[](qsizetype i) { return m_pages[i >> PageBits][i & (PageSize - 1)]; }
    const T &last() const { return (*this)[m_size - 1]; }

    void append(const T *values, qsizetype count)
    {
        while (count > 0) {
            const qsizetype page = m_size >> PageBits;
            if (page == qsizetype(m_pages.size()))
                m_pages.emplace_back(new T[PageSize]);
            const qsizetype at = m_size & (PageSize - 1);
            const qsizetype part = std::min(count, PageSize - at);
            std::copy_n(values, part, m_pages[page].get() + at);
            m_size += part;
            values += part;
            count -= part;
        }
    }

    void append(const T &value) { append(&value, 1); }

    // Copies count values from position from on into out.
    void read(qsizetype from, qsizetype count, T *out) const
    {
        while (count > 0) {
            const qsizetype at = from & (PageSize - 1);
            const qsizetype part = std::min(count, PageSize - at);
            std::copy_n(m_pages[from >> PageBits].get() + at, part, out);
            from += part;
            out += part;
            count -= part;
        }
    }

    // Drops the values from size on.
    void truncate(qsizetype size) { m_size = std::min(size, m_size); }

    void clear()
    {
        std::vector<std::unique_ptr<T[]>>().swap(m_pages);
        m_size = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_pages;
    qsizetype m_size = 0;
};

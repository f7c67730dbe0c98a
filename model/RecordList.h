#pragma once

#include "InvalidArgument.h"

#include <QtGlobal>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

// A growable array of fixed-layout records. Every access by index is checked; growing zero-fills.
template <typename T> class RecordList
{
    static_assert(std::is_trivially_copyable_v<T> && std::is_standard_layout_v<T>,
                  "records are raw byte images");

public:
    using value_type = T;

    qsizetype count() const { return qsizetype(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }

    const T& at(qsizetype i) const
    {
        check(i);
        return m_items[std::size_t(i)];
    }
    T& at(qsizetype i)
    {
        check(i);
        return m_items[std::size_t(i)];
    }

    // Growing adds zero-filled records; 0 releases the storage.
    void setCount(qsizetype n)
    {
        if (n < 0)
            throwInvalidArgument("negative list size " + std::to_string(n));
        if (n == 0) {
            std::vector<T>().swap(m_items);
            return;
        }
        m_items.resize(std::size_t(n), T{});
    }
    void clear() { setCount(0); }
    void append(const T& r) { m_items.push_back(r); }

    // Grows the list when i is at or beyond the count.
    void setAtGrow(qsizetype i, const T& r)
    {
        if (i < 0)
            throwInvalidArgument("negative list index " + std::to_string(i));
        if (i >= count())
            setCount(i + 1);
        m_items[std::size_t(i)] = r;
    }

    void removeAt(qsizetype i)
    {
        check(i);
        m_items.erase(m_items.begin() + i);
    }

    // Contiguous raw image of all records, for the archive code.
    const T* data() const { return m_items.data(); }
    T* data() { return m_items.data(); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    friend bool operator==(const RecordList& a, const RecordList& b)
    {
        return a.m_items.size() == b.m_items.size() &&
               (a.m_items.empty() ||
                std::memcmp(a.m_items.data(), b.m_items.data(), a.m_items.size() * sizeof(T)) == 0);
    }

private:
    void check(qsizetype i) const
    {
        if (i < 0 || i >= count())
            throwInvalidArgument("list index " + std::to_string(i) + " outside 0.." +
                                 std::to_string(count()));
    }

    std::vector<T> m_items;
};

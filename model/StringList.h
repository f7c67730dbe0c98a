#pragma once

#include "InvalidArgument.h"

#include <QByteArray>
#include <QList>

#include <string>
#include <utility>

// An array of texts as stored: each entry keeps the exact bytes it was loaded with (see TextCodec for how
// they become Unicode). Every access by index is checked; growing adds empty texts.
class StringList
{
public:
    qsizetype count() const { return m_items.size(); }
    bool isEmpty() const { return m_items.isEmpty(); }

    const QByteArray& at(qsizetype i) const
    {
        check(i);
        return m_items[i];
    }
    void setAt(qsizetype i, const QByteArray& s)
    {
        check(i);
        m_items[i] = s;
    }
    // Takes the text over: a year's load hands every text in this way.
    void setAt(qsizetype i, QByteArray&& s)
    {
        check(i);
        m_items[i] = std::move(s);
    }

    // Growing adds empty texts; 0 releases the storage.
    void setCount(qsizetype n)
    {
        if (n < 0)
            throwInvalidArgument("negative list size " + std::to_string(n));
        if (n == 0) {
            QList<QByteArray>().swap(m_items);
            return;
        }
        m_items.resize(n);
    }
    void clear() { setCount(0); }
    // Every entry empty, the count kept. A load's texts share one block (see ArchiveReader): the entries of
    // one block are let go with one step of its reference count, not one atomic step per text.
    void emptyAll();
    void append(const QByteArray& s) { m_items.append(s); }

    // Grows the list when i is at or beyond the count.
    void setAtGrow(qsizetype i, const QByteArray& s)
    {
        if (i < 0)
            throwInvalidArgument("negative list index " + std::to_string(i));
        if (i >= count())
            setCount(i + 1);
        m_items[i] = s;
    }

    void removeAt(qsizetype i)
    {
        check(i);
        m_items.removeAt(i);
    }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    friend bool operator==(const StringList& a, const StringList& b) { return a.m_items == b.m_items; }

private:
    friend class ArchiveReader; // fills a loaded list in place

    void check(qsizetype i) const
    {
        if (i < 0 || i >= count()) [[unlikely]]
            outside(i);
    }
    [[noreturn]] void outside(qsizetype i) const;

    QList<QByteArray> m_items;
};

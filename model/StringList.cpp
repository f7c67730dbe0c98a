#include "StringList.h"

#include <new>
#include <string>

void StringList::outside(qsizetype i) const
{
    throwInvalidArgument("list index " + std::to_string(i) + " outside 0.." + std::to_string(count()));
}

void StringList::emptyAll()
{
    using Pointer = QByteArray::DataPointer;
    using Block = QTypedArrayData<char>;
    Block* block = nullptr;
    int held = 0;
    const auto release = [&] {
        if (block && block->ref_.fetchAndAddOrdered(-held) == held)
            Block::deallocate(block);
    };
    for (QByteArray& text : m_items) {
        Pointer& p = text.data_ptr();
        Block* d = p.d_ptr();
        if (d == nullptr) {
            text = QByteArray(); // raw data or empty: no reference to let go
            continue;
        }
        if (d != block) {
            release();
            block = d;
            held = 0;
        }
        ++held;
        // Its reference goes with the block's one release below.
        new (&p) Pointer();
    }
    release();
}

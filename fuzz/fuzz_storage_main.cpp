#include "FuzzStorage.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Memory-backed when possible: every save syncs, and a disk makes each input cost milliseconds.
    static QTemporaryDir scratch(QDir(QStringLiteral("/dev/shm")).exists()
                                     ? QStringLiteral("/dev/shm/tolva-fuzz-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/tolva-fuzz-XXXXXX"));
    if (!scratch.isValid() || !fuzzStorage(data, size, scratch.path()))
        std::abort();
    return 0;
}

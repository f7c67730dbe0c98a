#include "Clock.h"

#include "Calendar.h"

namespace {

class SystemClock final : public Clock
{
public:
    SYSTEMTIME nowLocal() const override { return Calendar::nowLocal(); }
};

} // namespace

const Clock& Clock::system()
{
    static const SystemClock clock;
    return clock;
}

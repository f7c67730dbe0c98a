#pragma once

#include "Clock.h"

// A clock that stands still until a test moves it.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(const SYSTEMTIME& now) : m_now(now) {}
    SYSTEMTIME nowLocal() const override { return m_now; }
    void set(const SYSTEMTIME& now) { m_now = now; }

private:
    SYSTEMTIME m_now;
};

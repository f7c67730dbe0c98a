#pragma once

#include "SystemTime.h"

// Where "now" comes from. The view's Today and the alarm check read local wall-clock time through this,
// so tests can set the moment instead of waiting for it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual SYSTEMTIME nowLocal() const = 0;

    // The process's clock: local time of the system.
    static const Clock& system();
};

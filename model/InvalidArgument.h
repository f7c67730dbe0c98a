#pragma once

#include <stdexcept>
#include <string>

// The one exception type for an index out of range or an impossible value. Event handlers catch it at
// their boundary, so a bad index ends the current operation, never the program.
class InvalidArgument : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

[[noreturn]] inline void throwInvalidArgument(const std::string& what)
{
    throw InvalidArgument(what);
}

// The process command line, as the runtime library "tier0_i486.so" keeps it.
#pragma once

#include "tier0/platform.h"

class ICommandLine {
public:
    // Replaces the whole command line ("prog -a -b value").
    virtual void CreateCmdLine(const char* commandLine) = 0;
    virtual const char* GetCmdLine() const = 0;
    // Whether `param` (for example "-allowdebug") appears as a whole word; the
    // comparison ignores letter case. Returns the parameter's index, or 0 when absent.
    virtual int FindParm(const char* param) const = 0;
    // The value following `param`, or `defaultValue` when absent or last.
    virtual const char* ParmValue(const char* param, const char* defaultValue = nullptr) const = 0;

protected:
    ~ICommandLine() = default;
};

extern "C" VL_EXPORT ICommandLine* CommandLine_Tier0();

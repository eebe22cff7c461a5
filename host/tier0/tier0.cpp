// The substitute runtime library "tier0_i486.so": console output, the fatal report,
// assertion and pointer-check reports, the command line, the processor record and the
// allocator.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"
#include "tier0/commandline.h"
#include "tier0/cpu.h"
#include "tier0/dbg.h"
#include "tier0/memalloc.h"

namespace {

HostOutputHook s_outputHook = nullptr;
void* s_outputContext = nullptr;
int s_developerLevel = 1;
HostErrorHandler s_errorHandler = nullptr;
int s_invalidPointerReports = 0;

std::string FormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int needed = vsnprintf(small, sizeof(small), fmt, copy);
    va_end(copy);
    if (needed < 0) return std::string();
    if (static_cast<size_t>(needed) < sizeof(small)) return std::string(small, needed);
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    vsnprintf(&text[0], text.size(), fmt, args);
    text.resize(needed);
    return text;
}

void Output(const std::string& text) {
    if (s_outputHook) {
        s_outputHook(text.c_str(), s_outputContext);
    } else {
        fwrite(text.data(), 1, text.size(), stdout);
        fflush(stdout);
    }
}

class CHostCommandLine final : public ICommandLine {
public:
    void CreateCmdLine(const char* commandLine) override {
        line_ = commandLine ? commandLine : "";
        words_.clear();
        size_t i = 0;
        while (i < line_.size()) {
            while (i < line_.size() && isspace(static_cast<unsigned char>(line_[i]))) ++i;
            size_t start = i;
            while (i < line_.size() && !isspace(static_cast<unsigned char>(line_[i]))) ++i;
            if (i > start) words_.push_back(line_.substr(start, i - start));
        }
    }
    const char* GetCmdLine() const override { return line_.c_str(); }
    int FindParm(const char* param) const override {
        for (size_t i = 1; i < words_.size(); ++i) {
            if (strcasecmp(words_[i].c_str(), param) == 0) return static_cast<int>(i);
        }
        return 0;
    }
    const char* ParmValue(const char* param, const char* defaultValue) const override {
        int index = FindParm(param);
        if (index == 0 || static_cast<size_t>(index) + 1 >= words_.size()) return defaultValue;
        return words_[index + 1].c_str();
    }

private:
    std::string line_;
    std::vector<std::string> words_;
};

CHostCommandLine s_commandLine;

CPUInformation MakeCPUInformation() {
    CPUInformation info = {};
    info.m_Size = sizeof(CPUInformation);
    info.m_bRDTSC = true;
    info.m_bCMOV = true;
    info.m_bFCMOV = true;
    info.m_bSSE = __builtin_cpu_supports("sse");
    info.m_bSSE2 = __builtin_cpu_supports("sse2");
    info.m_bMMX = __builtin_cpu_supports("mmx");
    info.m_nLogicalProcessors = 1;
    info.m_nPhysicalProcessors = 1;
    static char id[] = "SubstituteHost";
    info.m_szProcessorID = id;
    return info;
}

CPUInformation s_cpu = MakeCPUInformation();

class CHostMemAlloc final : public IMemAlloc {
public:
    void* Alloc(size_t bytes) override {
        if (CountRequest() || Refused(bytes)) return nullptr;
        void* block = malloc(bytes ? bytes : 1);
        if (block) ++live;
        return block;
    }
    void* Realloc(void* block, size_t bytes) override {
        if (!block) return Alloc(bytes);
        if (CountRequest() || Refused(bytes)) return nullptr;
        return realloc(block, bytes ? bytes : 1);
    }
    void Free(void* block) override {
        if (!block) return;
        --live;
        free(block);
    }

    size_t limit = 0;
    int live = 0;
    int requests = 0;  // Alloc and Realloc calls since the last FailNthAllocation
    int failAt = 0;    // the request refused, counting from 1; 0 for none

private:
    // Counts one request; true when it is the one to refuse.
    bool CountRequest() { return ++requests == failAt; }
    bool Refused(size_t bytes) const { return limit != 0 && bytes > limit; }
};

CHostMemAlloc s_memAlloc;

}  // namespace

IMemAlloc* g_pMemAlloc = &s_memAlloc;

void Msg(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Output(FormatV(fmt, args));
    va_end(args);
}

void DevMsg(int level, const char* fmt, ...) {
    if (level > s_developerLevel) return;
    va_list args;
    va_start(args, fmt);
    Output(FormatV(fmt, args));
    va_end(args);
}

void DevMsg(const char* fmt, ...) {
    if (1 > s_developerLevel) return;
    va_list args;
    va_start(args, fmt);
    Output(FormatV(fmt, args));
    va_end(args);
}

void Error(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string report = FormatV(fmt, args);
    va_end(args);
    Output(report);
    fprintf(stderr, "%s", report.c_str());
    fflush(stderr);
    if (s_errorHandler) s_errorHandler(report.c_str());
    _exit(1);
}

int _SpewInfo(int, const char*, int) { return 0; }

int _SpewMessage(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Output(FormatV(fmt, args));
    va_end(args);
    return 0;
}

void _ExitOnFatalAssert(const char* file, int line) {
    Error("Fatal assert failed: %s, line %d. Application exiting.\n", file, line);
}

bool ShouldUseNewAssertDialog() { return false; }

bool DoNewAssertDialog(const char*, int, const char*) { return false; }

static void ReportInvalidPointer(const char* what, const void* ptr) {
    ++s_invalidPointerReports;
    DevMsg(2, "%s: invalid pointer %p\n", what, ptr);
}

void _AssertValidReadPtr(const void* ptr, int count) {
    if (!ptr && count > 0) ReportInvalidPointer("_AssertValidReadPtr", ptr);
}

void _AssertValidWritePtr(void* ptr, int count) {
    if (!ptr && count > 0) ReportInvalidPointer("_AssertValidWritePtr", ptr);
}

void AssertValidStringPtr(const char* ptr, int) {
    if (!ptr) ReportInvalidPointer("AssertValidStringPtr", ptr);
}

ICommandLine* CommandLine_Tier0() { return &s_commandLine; }

const CPUInformation* GetCPUInformation() { return &s_cpu; }

void HostTier0_SetOutputHook(HostOutputHook hook, void* context) {
    s_outputHook = hook;
    s_outputContext = context;
}

void HostTier0_SetDeveloperLevel(int level) { s_developerLevel = level; }

void HostTier0_SetErrorHandler(HostErrorHandler handler) { s_errorHandler = handler; }

void HostTier0_SetAllocLimit(size_t bytes) { s_memAlloc.limit = bytes; }

int HostTier0_LiveAllocations() { return s_memAlloc.live; }

void HostTier0_FailNthAllocation(int n) {
    s_memAlloc.requests = 0;
    s_memAlloc.failAt = n > 0 ? n : 0;
}

int HostTier0_AllocationRequests() { return s_memAlloc.requests; }

int HostTier0_InvalidPointerReports() { return s_invalidPointerReports; }

void HostTier0_SetCPUFeatures(unsigned char features) {
    // The feature bits are the byte right after the size word.
    memcpy(reinterpret_cast<unsigned char*>(&s_cpu) + sizeof(int), &features, 1);
}

// A driver that runs a workload once for every request it makes of the runtime allocator,
// refusing that one request, each run in a child process of its own. A run ends one of
// three ways: the workload copes (it returns true: its state checked valid and nothing
// leaked), the failure is fatal by design (the runtime's Error ends the child with its
// report), or it is a fault (the workload returned false, or the child died otherwise:
// a memory fault caught by the sanitizers, a signal, an unexpected exit).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"

#if defined(__SANITIZE_ADDRESS__)
#define VL_ALLOC_TEST_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VL_ALLOC_TEST_LSAN 1
#endif
#endif
#if VL_ALLOC_TEST_LSAN
#include <sanitizer/lsan_interface.h>
#endif

struct AllocationFailureRun {
    int refused;         // the request refused, from 1
    bool fatal;          // ended by Error
    std::string report;  // Error's report, or what went wrong
};

namespace alloc_failure_detail {
inline int& ResultPipe() {
    static int fd = -1;
    return fd;
}
inline void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}
inline void OnError(const char* report) {
    WriteAll(ResultPipe(), std::string("fatal ") + (report ? report : ""));
    _exit(3);
}
}  // namespace alloc_failure_detail

// Runs `workload` in a child process with the `n`-th allocation request refused (0: none).
// `requests` receives the number of requests the child saw when its workload returned.
inline AllocationFailureRun RunWithAllocationRefused(const std::function<bool()>& workload, int n,
                                                     int* requests = nullptr) {
    using namespace alloc_failure_detail;
    AllocationFailureRun run{n, false, ""};
    int fds[2];
    if (pipe(fds) != 0) {
        run.report = "fault: no pipe";
        return run;
    }
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        ResultPipe() = fds[1];
        HostTier0_SetErrorHandler(OnError);
        HostTier0_FailNthAllocation(n);
        bool ok = workload();
        int seen = HostTier0_AllocationRequests();
        HostTier0_FailNthAllocation(0);
#if VL_ALLOC_TEST_LSAN
        if (ok && __lsan_do_recoverable_leak_check() != 0) {
            WriteAll(fds[1], "fault: leak");
            _exit(4);
        }
#endif
        WriteAll(fds[1], (ok ? "soft " : "fault: workload check failed ") + std::to_string(seen));
        _exit(ok ? 0 : 2);
    }
    close(fds[1]);
    std::string message;
    char chunk[512];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof(chunk))) > 0) message.append(chunk, static_cast<size_t>(got));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 0 && message.rfind("soft ", 0) == 0) {
        if (requests) *requests = atoi(message.c_str() + 5);
    } else if (code == 3 && message.rfind("fatal ", 0) == 0) {
        run.fatal = true;
        run.report = message.substr(6);
    } else {
        run.report = "fault (exit " + std::to_string(code) +
                     (WIFSIGNALED(status) ? ", signal " + std::to_string(WTERMSIG(status)) : std::string()) +
                     "): " + message;
    }
    return run;
}

// Runs `workload` once without refusal to count its requests, then once per request with
// that request refused. Every run must end softly or fatally (a fault fails the test);
// `isExpectedFatal` judges each fatal report. Returns the runs, one per request.
inline std::vector<AllocationFailureRun> RunWithEachAllocationRefused(
    const std::function<bool()>& workload, const std::function<bool(const std::string&)>& isExpectedFatal) {
    std::vector<AllocationFailureRun> runs;
    int total = -1;
    AllocationFailureRun clean = RunWithAllocationRefused(workload, 0, &total);
    EXPECT_TRUE(!clean.fatal && clean.report.empty()) << "the workload fails without any refusal: " << clean.report;
    if (total < 0) return runs;
    for (int n = 1; n <= total; ++n) {
        AllocationFailureRun run = RunWithAllocationRefused(workload, n);
        if (run.fatal) {
            EXPECT_TRUE(isExpectedFatal(run.report)) << "request " << n << " refused: unexpected report " << run.report;
        } else {
            EXPECT_TRUE(run.report.empty()) << "request " << n << " refused: " << run.report;
        }
        runs.push_back(run);
    }
    return runs;
}

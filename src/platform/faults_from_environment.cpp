// The fault hook of the test build of the installer (tarn-setup-faults),
// set before main from the environment:
//   TARN_FAULT=N:ENOSPC|EACCES|EIO|KILL  the Nth file operation of the
//       process (counted from 1) fails with that error, or the process
//       kills itself there (SIGKILL; TerminateProcess on Windows);
//   TARN_FAULT_COUNT=FILE  the number of operations counted is written to
//       FILE when the process ends, so that a test knows the range of N.
// This file is never part of the released program.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include "platform/faults.h"

namespace tarn::platform::faults {
namespace {

std::atomic<long> g_count{ 0 };
long g_at = 0;
enum class Action { None, Fail, Kill } g_action = Action::None;
Fault g_fault = Fault::None;
const char* g_name = "";
std::string g_countFile;

[[noreturn]] void KillSelf()
{
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 137);
#else
    ::kill(::getpid(), SIGKILL);
#endif
    std::abort();
}

Fault Counted(const char* operation)
{
    long n = ++g_count;
    if (n != g_at || g_action == Action::None)
        return Fault::None;
    if (g_action == Action::Kill)
        KillSelf();
    std::fprintf(stderr, "tarn-setup-faults: operation %ld (%s) fails with %s\n", n, operation, g_name);
    return g_fault;
}

void WriteCount()
{
    if (std::FILE* f = std::fopen(g_countFile.c_str(), "w")) {
        std::fprintf(f, "%ld\n", g_count.load());
        std::fclose(f);
    }
}

bool Parse(const char* asked)
{
    char* end = nullptr;
    long at = std::strtol(asked, &end, 10);
    if (end == asked || *end != ':' || at <= 0)
        return false;
    const char* kind = end + 1;
    struct {
        const char* name;
        Action action;
        Fault fault;
    } const kinds[] = { { "ENOSPC", Action::Fail, Fault::NoSpace },
                        { "EACCES", Action::Fail, Fault::Denied },
                        { "EIO", Action::Fail, Fault::Io },
                        { "KILL", Action::Kill, Fault::None } };
    for (const auto& k : kinds)
        if (std::strcmp(kind, k.name) == 0) {
            g_at = at, g_action = k.action, g_fault = k.fault, g_name = k.name;
            return true;
        }
    return false;
}

[[maybe_unused]] const bool g_installed = [] {
    const char* asked = std::getenv("TARN_FAULT");
    if (asked && *asked && !Parse(asked)) {
        std::fprintf(stderr, "tarn-setup-faults: TARN_FAULT must be N:ENOSPC|EACCES|EIO|KILL, not %s\n", asked);
        std::exit(2);
    }
    if (const char* file = std::getenv("TARN_FAULT_COUNT"); file && *file) {
        g_countFile = file;
        std::atexit(WriteCount);
    }
    gHook = Counted;
    return true;
}();

} // namespace
} // namespace tarn::platform::faults

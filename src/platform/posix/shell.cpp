// The shell's "open" on POSIX.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"
#include "platform/windows_programs.h"

extern char** environ;

namespace tarn::platform {

namespace {

bool StartDetached(const std::string& program, const std::vector<std::string>& args, bool searchPath)
{
    std::vector<std::string> copies;
    copies.push_back(program);
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: the started program outlives this one and its terminal signals.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid;
    int rc = searchPath ? ::posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ)
                        : ::posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0;
}

// A Windows program started apart from this process: a grandchild (no
// zombie is left behind) in a session of its own prepares the locale and
// the prefix the first time, which takes a while, and becomes wine.
bool StartWindowsProgram(const std::string& program, const std::vector<std::string>& args)
{
    const std::string prefix = WindowsProgramsPrefix();
    pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::fork() != 0)
            ::_exit(0);
        ::setsid();
        std::string reason = ExecWindowsProgram(prefix, program, args);
        std::fprintf(stderr, "tarn-setup: %s cannot be started: %s\n", program.c_str(), reason.c_str());
        ::_exit(127);
    }
    int status;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return true;
}

} // namespace

std::string FileMagic(const std::string& host)
{
    char buf[4] = {};
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

bool IsElfProgram(const std::string& host)
{
    return FileMagic(host) == "\x7F" "ELF" && ::access(host.c_str(), X_OK) == 0;
}

bool IsWindowsProgram(const std::string& host) { return FileMagic(host).compare(0, 2, "MZ") == 0; }

std::string FindOnPath(const char* tool)
{
    std::string path = GetEnv("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string dir = path.substr(start, end - start);
        start = end + 1;
        if (dir.empty())
            continue;
        std::string candidate = dir + "/" + tool;
        struct stat st;
        if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(candidate.c_str(), X_OK) != 0)
            continue;
        if (candidate[0] != '/') {
            char cwd[4096];
            if (!::getcwd(cwd, sizeof cwd))
                continue;
            candidate = std::string(cwd) + "/" + candidate;
        }
        return candidate;
    }
    return std::string();
}

void InitializeProcess() { }

bool DiscProgramsRunNatively() { return false; }

std::string ProgramOnPath(std::string_view name) { return FindOnPath(std::string(name).c_str()); }

std::vector<std::string> ProgramArguments(int argc, char** argv) { return ArgumentsUtf8(argc, argv); }

bool ShellOpen(std::string_view file, std::string_view params)
{
    AnsiString unquoted;
    for (char c : file)
        if (c != '"')
            unquoted += c;
    std::string host;
    if (unquoted.empty() || !HostPath(unquoted, host))
        return false;
    std::vector<std::string> args;
    for (const AnsiString& a : SplitCommandLine(params))
        args.push_back(AnsiToHostUtf8(a));
    if (IsElfProgram(host))
        return StartDetached(host, args, false);
    if (IsWindowsProgram(host))
        return !FindOnPath("wine").empty() && StartWindowsProgram(host, args);
    if (FindOnPath("xdg-open").empty() || ::access(host.c_str(), F_OK) != 0)
        return false;
    return StartDetached("xdg-open", { host }, true);
}

bool ReplaceProcess(std::string_view file, std::string_view params, const std::string& pendingInput)
{
    AnsiString unquoted;
    for (char c : file)
        if (c != '"')
            unquoted += c;
    std::string host;
    if (unquoted.empty() || !HostPath(unquoted, host) || !IsElfProgram(host))
        return false;
    std::vector<std::string> args{ host };
    for (const AnsiString& a : SplitCommandLine(params))
        args.push_back(AnsiToHostUtf8(a));
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (!pendingInput.empty())
        ::setenv(kCarriedInputVariable, pendingInput.c_str(), 1);
    ::execv(host.c_str(), argv.data());
    ::unsetenv(kCarriedInputVariable);
    return false;
}

} // namespace tarn::platform

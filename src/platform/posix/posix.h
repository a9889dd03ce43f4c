// Helpers shared by the POSIX implementation files.
#pragma once

#include <cerrno>
#include <cctype>
#include <string>
#include <string_view>

#include "platform/faults.h"

namespace tarn::platform {

// The host path of a program path; false when it has none.
bool HostPathOrFail(std::string_view path, std::string& host);

// The first bytes of a host file (up to four; "" when it cannot be read).
std::string FileMagic(const std::string& host);
// How the shell's "open" treats a file: an ELF that may be executed runs
// directly, a Windows program (MZ) goes through wine, anything else through xdg-open.
bool IsElfProgram(const std::string& host);
bool IsWindowsProgram(const std::string& host);
// The absolute path of a program found on PATH, "" when there is none.
std::string FindOnPath(const char* tool);

// The native program the menu's items of Windows programs start them
// through (SetWindowsProgramsStarter), "" when there is none.
std::string WindowsProgramsStarter();

// Removes the files name.PID.tmp in dir whose process PID no longer exists:
// what writers killed between writing and renaming left. A process that is
// still there (even one of another user, which kill may not signal) keeps
// its file, and so does this one.
void RemoveTemporariesOfEndedProcesses(const std::string& dir, std::string_view name);
// The name of this process's temporary file for name in dir (dir/name.PID.tmp).
std::string TemporaryOfThisProcess(const std::string& dir, std::string_view name);

// True when the fault hook (platform/faults.h) makes this operation fail;
// errno then holds the fault's error, as the system would have set it.
inline bool FaultInjected(const char* operation)
{
    faults::Fault fault = faults::Check(operation);
    if (fault == faults::Fault::None)
        return false;
    errno = fault == faults::Fault::NoSpace ? ENOSPC : fault == faults::Fault::Denied ? EACCES : EIO;
    return true;
}

// The environment variable that carries what a program read ahead from
// standard input to the program that takes its place (ReplaceProcess).
inline constexpr char kCarriedInputVariable[] = "TARN_CARRIED_INPUT";

} // namespace tarn::platform

// Helpers shared by the POSIX implementation files.
#pragma once

#include <cerrno>
#include <cctype>
#include <string>
#include <string_view>

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

// The environment variable that carries what a program read ahead from
// standard input to the program that takes its place (ReplaceProcess).
inline constexpr char kCarriedInputVariable[] = "TARN_CARRIED_INPUT";

} // namespace tarn::platform

// Helpers shared by the POSIX implementation files.
#pragma once

#include <cerrno>
#include <cctype>
#include <string>
#include <string_view>

namespace tarn::platform {

// The host path of a program path; false when it has none.
bool HostPathOrFail(std::string_view path, std::string& host);

} // namespace tarn::platform

// Helpers shared by the Windows implementation files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base/codepage.h"
#include "platform/com_scope.h"
#include "platform/faults.h"
#include "platform/wide_text.h"

namespace tarn::platform {

// A program path for the W functions that accept the extended form
// (CreateFileW, CreateDirectoryW, FindFirstFileExW, the attribute, delete,
// move and copy functions): full, and with the \\?\ or \\?\UNC\ prefix once
// it comes near MAX_PATH, so that an installation deeper than 260
// characters still works. Shorter paths stay as they are, so that they keep
// the ordinary rules (trailing dots, device names) of the system.
std::wstring SysPath(std::string_view path);
// The same for a path already in UTF-16.
std::wstring SysPathWide(std::wstring path);
// A path the system gave back, without the extended prefix.
std::wstring WithoutExtendedPrefix(std::wstring path);

// True when the fault hook (platform/faults.h) makes this operation fail;
// GetLastError then tells the fault's error, as the system would have.
inline bool FaultInjected(const char* operation)
{
    faults::Fault fault = faults::Check(operation);
    if (fault == faults::Fault::None)
        return false;
    SetLastError(fault == faults::Fault::NoSpace ? ERROR_DISK_FULL
                 : fault == faults::Fault::Denied ? ERROR_ACCESS_DENIED
                                                  : ERROR_IO_DEVICE);
    return true;
}

} // namespace tarn::platform

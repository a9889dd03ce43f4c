// Faults put into the file routines on purpose, for the tests that make each
// file operation of a run fail in turn (a full disk, a refused permission, a
// failing device) or stop the process at an exact operation.
//
// Every file-system operation of the platform layer (opening, reading,
// writing, syncing, renaming, removing, making and removing directories,
// copying, setting attributes and times, listing a directory, the trash,
// the registry store's writes, the menu's files) asks the hook first. The
// hook is null in the released program: the cost is one load and a test.
// Only the test build of the installer (tarn-setup-faults) sets it, from its
// environment (faults_from_environment.cpp).
#pragma once

namespace tarn::platform::faults {

// What an operation is made to fail with: errno ENOSPC, EACCES, EIO on
// POSIX; ERROR_DISK_FULL, ERROR_ACCESS_DENIED, ERROR_IO_DEVICE on Windows.
enum class Fault { None, NoSpace, Denied, Io };

// Called with the operation's name ("open", "rename", ...) before it runs.
using Hook = Fault (*)(const char* operation);
extern Hook gHook;

inline Fault Check(const char* operation) { return gHook ? gHook(operation) : Fault::None; }

} // namespace tarn::platform::faults

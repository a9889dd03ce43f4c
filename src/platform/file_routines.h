// The program's file and system routines, on top of the platform interface.
#pragma once

#include <cstdint>

#include <optional>
#include <vector>

#include "base/text.h"
#include "platform/platform.h"
#include "platform/sha256.h"

namespace tarn {

// Fills list with the full paths of the selected entries of dir, in the order
// the file system gives them. A file is selected when it shares a bit with
// attrMask or anyFile is set; a directory when attrMask holds 0x10. With
// recurse every subdirectory is listed right after its own entry (nested
// directories always with a trailing backslash); clearAttrs removes the
// read-only and hidden bits from every entry met, selected or not; a
// non-empty ext (".dat") keeps only files with that extension. Symbolic links
// to directories are listed but never descended into.
void ListFiles(const AnsiString& dir, uint16_t attrMask, bool anyFile, bool clearList, StringList& list, bool recurse,
               bool slashDirs, bool clearAttrs, const AnsiString& ext);
// The same for a walk whose list must be whole (what an install copies): a
// directory that cannot be read raises EOSError naming it and the reason,
// where ListFiles goes on without its entries.
void ListFilesOrFail(const AnsiString& dir, uint16_t attrMask, bool anyFile, bool clearList, StringList& list, bool recurse,
                     bool slashDirs, bool clearAttrs, const AnsiString& ext);

// Copies source over target unless skipSame is set and the target has the same
// last-write time (DOS resolution, local time) and size. True when the target
// is in place afterwards. A target that exists but cannot be opened for the
// size comparison raises EFOpenError.
bool CopyIfChanged(const AnsiString& source, const AnsiString& target, bool skipSame,
                   const platform::CopyProgress& progress = {});
// The same, telling a copy from a target left as it was, and a failure from
// a copy that progress stopped (neither leaves a target). With digest, it
// gets the SHA-256 of the target's bytes: hashed as they are copied, or read
// from a target left as it was.
enum class CopyOutcome { Copied, Unchanged, Failed, Stopped };
CopyOutcome CopyIfChangedOutcome(const AnsiString& source, const AnsiString& target, bool skipSame,
                                 const platform::CopyProgress& progress = {}, platform::Sha256Digest* digest = nullptr);

// The SHA-256 of a file's bytes; none when it cannot be read whole (it
// does not hold as many bytes as its size says, or as size, given).
std::optional<platform::Sha256Digest> HashFile(const AnsiString& path, std::optional<int64_t> size = std::nullopt);

// Size of a file in bytes, 0 when it cannot be opened.
int64_t FileSizeOf(const AnsiString& path);

// The file is removed by the system at its next start (on POSIX: when this
// process ends). Failures are ignored.
void DeleteAtReboot(const AnsiString& path);

// The entries of a directory without "." and "..", sorted by the bytes of
// their names (CP932), so that every walk over a tree goes the same way.
std::vector<platform::DirEntry> SortedDirectory(const AnsiString& dir);
// The same, for a walk that must see everything (what an uninstall keeps):
// a directory that cannot be read raises EOSError naming it and the reason,
// where SortedDirectory gives it as empty.
std::vector<platform::DirEntry> SortedDirectoryOrFail(const AnsiString& dir);

// Path of a shell folder (CSIDL number); raises EOSError when there is none.
AnsiString GetSpecialFolder(int csidl);

constexpr int CSIDL_PROGRAM_FILES_FOLDER = 0x26;

} // namespace tarn

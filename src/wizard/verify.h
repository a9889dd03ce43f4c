// Checks an installation file by file and entry by entry: against its record
// (what the install wrote, with every file's size and SHA-256 and every
// archive entry's), or against the discs it came from. What is wrong is told
// in a few classes; what lies there besides (saves, the game's own files) is
// told as extra and never judged.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "wizard/manifest.h"
#include "wizard/run_options.h"

namespace tarn {

enum class FindingClass { Missing, SizeDiffers, ContentDiffers, Unreadable, Extra };

// "missing", "size differs", "content differs", "unreadable", "extra file".
const char* FindingClassName(FindingClass c);

struct Finding {
    FindingClass Class = FindingClass::Missing;
    // Relative to the installation; for an archive entry the archive's name.
    AnsiString Path;
    // The archive entry's name; empty for a file.
    AnsiString Entry;
};

struct VerifyResult {
    AnsiString Installation; // with a trailing backslash
    bool AgainstDiscs = false;
    std::vector<Finding> Findings;
    int64_t Files = 0, Entries = 0, Bytes = 0;
    // The archive as a whole cannot be read (a piece missing, a damaged
    // directory): every entry is to be merged again.
    bool ArchiveUnreadable = false;

    // The findings other than extra files.
    int Wrong() const;
    int Extra() const;
};

// Called with the bytes read since the last call; false stops the check
// (the result then holds what was found so far).
using VerifyProgress = std::function<bool(int64_t bytes)>;

// Checks the installation a record describes against it.
VerifyResult VerifyAgainstRecord(const TInstallManifest& record, const VerifyProgress& progress = {});

// The discs of an installation: disc number (from 1) -> its folder.
using DiscFolders = std::map<int, AnsiString>;

// Checks installation against the files and archives of discs, as an
// install with components (those of options: Data, Sound, Movie) from them
// would have put them there. The disc's installer counts as the running
// program where disc programs do not run natively (modulePath).
VerifyResult VerifyAgainstDiscs(const AnsiString& installation, const DiscFolders& discs, const RunOptions& components,
                                const AnsiString& modulePath, const VerifyProgress& progress = {});

// The bytes the check reads: the recorded files' sizes (the archive's entries come with them).
int64_t BytesToVerify(const TInstallManifest& record);

// One line per finding, CLASS<TAB>path (an entry as archive:name), and a
// summary line; host text with host separators.
std::string VerifyLines(const VerifyResult& result);
std::string VerifyJson(const VerifyResult& result);

} // namespace tarn

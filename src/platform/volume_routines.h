// What the two platform implementations do for a path inside a mounted
// volume (platform/volume.h); each answer is none for a path that lies in no
// volume, which then goes to the host as before.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/volume.h"

namespace tarn::platform::volumes {

std::optional<VolumeEntry> Stat(std::string_view path);
// The entries of a directory of a volume, "." and ".." first as the host
// gives them; false for no directory.
std::optional<bool> List(std::string_view path, std::vector<DirEntry>& entries);
// The attribute bits of an entry (-1 when missing): a disc's files are read-only.
int32_t AttributesOf(const VolumeEntry& entry, std::string_view path);
// Opens a file of a volume for reading: none when path lies in no volume,
// a null file when it is no file there.
std::optional<std::unique_ptr<VolumeFile>> Open(std::string_view path);
// Copies a file of a volume to a host file as CopyFileWithAttributes does:
// the target gets the source's time and the host's usual modes (never the
// disc's read-only one); a program keeps being one (markProgram is called
// on a target that starts as an executable does).
std::optional<bool> Copy(std::string_view source, std::string_view target, const CopyProgress& progress, Sha256* digest,
                         bool (*markProgram)(std::string_view target));

} // namespace tarn::platform::volumes

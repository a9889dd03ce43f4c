// A disc image or a drive's device as a folder for the rest of the program:
// mounted as a volume of the platform (platform/volume.h), after which every
// file routine reads the paths below the image's own path inside it.
#pragma once

#include <memory>

#include "base/text.h"
#include "media/iso_fs.h"

namespace tarn::media {

// Mounts the image or device at path (a program path) unless it is mounted
// already, and gives its file system. Raises EMediaError naming the file
// when it cannot be read as a disc.
std::shared_ptr<IsoFileSystem> MountDisc(const AnsiString& path);
// The same for a path that may be a disc image or a device: a folder, a
// missing path or any other file give nullptr, as does an image that cannot
// be read (its message in error when given).
std::shared_ptr<IsoFileSystem> MountIfDisc(const AnsiString& path, AnsiString* error = nullptr);
// The file system of a path mounted so (the path itself, not one below it).
std::shared_ptr<IsoFileSystem> MountedDisc(const AnsiString& path);

// A program to start that may lie on a disc image: a system starts programs
// from its own folders only, so one inside a mounted image is copied out
// with everything in its folder (installers of this kind read the files
// beside them) to the temporary directory, and that copy's path is given.
// Any other path is given as it is; so is one whose copy fails (the start
// then fails with the system's own message).
AnsiString StartablePath(const AnsiString& program);

} // namespace tarn::media

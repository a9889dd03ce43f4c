// What the image containers share (inside the media layer only): the
// source that reads one track of one file, the errors that name the file,
// and the openers of each container.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "base/format.h"
#include "media/sector_source.h"

namespace tarn::media::detail {

// Raises EMediaError "file: reason" (reason is the program's UTF-8 text).
[[noreturn]] void Fail(const AnsiString& file, std::u8string_view reason, std::initializer_list<FormatArg> args = {});

// Bytes a sector of that format takes in its file, and where its 2048 user bytes start.
int SectorBytes(SectorFormat format);
int UserOffset(SectorFormat format);

// The whole of a small text file (a cue sheet, a CloneCD control file):
// refused when it is missing or larger than limit.
std::string ReadSmallFile(const AnsiString& path, int64_t limit);
// The size of a file, -1 when it is missing or cannot be read.
int64_t SizeOf(const AnsiString& path);
// Reads count bytes at offset; false when the file is shorter.
bool ReadAt(const AnsiString& path, int64_t offset, void* buffer, int64_t count);
// The raw format of a 2352-byte sector by its sync pattern and mode byte
// (Mode1Raw, Mode2Raw), or Audio when it has no sync (or cannot be read).
SectorFormat SniffRawSector(const AnsiString& path, int64_t offset);

// A source over info.Tracks[info.DataTrack]: checks that the track is data,
// not empty and lies inside its file (else raises EMediaError naming it).
std::unique_ptr<SectorSource> MakeTrackSource(SourceInfo info);

std::unique_ptr<SectorSource> OpenCueSheet(const AnsiString& path);
std::unique_ptr<SectorSource> OpenCloneCd(const AnsiString& ccdPath, const AnsiString& opened);
std::unique_ptr<SectorSource> OpenNeroImage(const AnsiString& path);

} // namespace tarn::media::detail

// A disc's data track as 2048-byte logical sectors, wherever the disc lies:
// an image file in one of the usual containers, or a drive read through its
// device file. Everything above (the ISO 9660 reader, the volumes the file
// routines see) reads sectors through this one interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/text.h"

namespace tarn::media {

// A disc or image that cannot be read as one: the message names the file.
class EMediaError : public EReadError { using EReadError::EReadError; };

constexpr int64_t kSectorSize = 2048;

// How the sectors of a track are stored in its file.
enum class SectorFormat {
    Cooked2048, // the 2048 user bytes only (.iso, MODE1/2048)
    Mode1Raw,   // 2352: sync, header, 2048 user bytes, EDC/ECC
    Mode2Raw,   // 2352: sync, header, 8-byte subheader, form 1 user bytes
    Mode2Cooked, // 2336: subheader, form 1 user bytes (MODE2/2336)
    Audio,      // 2352 bytes of sound: never read as data
};

struct TrackInfo {
    int Number = 0;
    SectorFormat Format = SectorFormat::Cooked2048;
    AnsiString File;        // program path of the file holding it
    int64_t FileOffset = 0; // byte offset of its first sector (INDEX 01) in File
    // Its first sector (INDEX 01) on the disc (LBA). A data track that does
    // not start at 0 (after an audio track, in a later session) holds, as a
    // rule, an ISO 9660 volume whose extent addresses count from the disc's
    // start (its descriptors still lie at the track's sector 16): less Start,
    // they are the source's sector numbers.
    int64_t Start = 0;
    int64_t Sectors = 0;
};

struct SourceInfo {
    std::string Container; // "iso", "raw", "cue", "ccd", "nrg", "device"
    AnsiString Path;       // what was opened (the sheet, the image, the device)
    std::vector<TrackInfo> Tracks;
    int DataTrack = 0;     // index into Tracks of the track read as data
};

class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Sectors of the data track; sector 0 is the track's first (at INDEX 01).
    virtual int64_t SectorCount() const = 0;
    // Reads count sectors from first into buffer (count * 2048 bytes). Raises
    // EMediaError naming the file for a sector outside the track or a file
    // that ends early. Safe to call from several threads at once.
    virtual void ReadSectors(int64_t first, int64_t count, uint8_t* buffer) = 0;
    virtual const SourceInfo& Info() const = 0;
};

// Whether a path names something OpenSectorSource may take, by its name
// (.iso .img .bin .cue .ccd .nrg .mdf, any letter case) or, on POSIX, because
// it is a block device. Cheap: no file is read.
bool LooksLikeDisc(const AnsiString& path);

// Opens an image or a device (a program path): a cue sheet, a CloneCD
// control file (.ccd, or its .img/.sub beside it), a Nero image, a plain
// image of 2048- or 2352-byte sectors (told apart by where the volume
// descriptor lies), a block device. Raises EMediaError naming the file when
// it is none of these or is damaged.
std::unique_ptr<SectorSource> OpenSectorSource(const AnsiString& path);

} // namespace tarn::media

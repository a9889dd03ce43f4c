// Raw CD-ROM sectors of mode 1 (2352 bytes): what a .bin of a cue sheet holds
// for each 2048-byte logical sector, with the error detection and correction
// codes a drive would read from a pressed disc.
#pragma once

#include <cstdint>

namespace tarn::mkdisc {

constexpr int kRawSectorSize = 2352;

// Frames the 2048 user bytes of logical sector lba (the track starting at
// 00:02:00) into raw: sync, header, data, EDC, zeros, P and Q parity.
void FrameMode1Sector(uint32_t lba, const uint8_t* user, uint8_t* raw);

} // namespace tarn::mkdisc

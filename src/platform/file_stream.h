// The ordinary file stream on a program path.
#pragma once

#include <memory>

#include "base/stream.h"
#include "platform/platform.h"

namespace tarn {

// Open modes: the low four bits are the access (read, write, read/write);
// fmCreate makes a new empty file, replacing an existing one.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmCreate = 0xFFFF;

class TFileStream : public TStream {
public:
    // Raises EFOpenError ("ファイル %s は開けません") or, in create mode,
    // EFCreateError ("ファイル %s を作成できません").
    TFileStream(const AnsiString& fileName, uint16_t mode);

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int64_t offset, SeekOrigin origin) override;
    int32_t GetSize() override;
    void SetSize(int32_t size) override;

    const AnsiString& FileName() const { return fileName_; }
    platform::File& Handle() { return *file_; }
    // Data on the disk before the stream is relied upon (atomic replacement).
    bool Sync() { return file_->Sync(); }

private:
    AnsiString fileName_;
    std::unique_ptr<platform::File> file_;
};

// Reads a whole file into memory; raises EFOpenError when it cannot be opened
// and EReadError when it is larger than an ordinary stream can hold.
std::vector<uint8_t> ReadWholeFile(const AnsiString& fileName);
// Writes a file through a temporary file beside it that is synced and renamed
// over the target, so the target is never left half written.
void WriteFileAtomically(const AnsiString& fileName, std::string_view bytes);

} // namespace tarn

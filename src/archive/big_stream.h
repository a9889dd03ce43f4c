// One logical byte stream with 64-bit size and position, stored as a base file
// plus numbered pieces (game.dat, game.001, game.002, ...), so that an archive
// can grow past what one file should hold.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/stream.h"
#include "platform/platform.h"

namespace tarn {

// The operations the archive code uses; the base does nothing.
class TTpBigStream {
public:
    virtual ~TTpBigStream() = default;
    virtual int64_t GetSize() { return 0; }
    virtual int64_t GetPosition() { return 0; }
    virtual void SetPosition(int64_t) { }
    virtual int64_t Write(const void*, int64_t) { return 0; }
    virtual int64_t Read(void*, int64_t) { return 0; }
    virtual int32_t CopyFrom(TTpBigStream&, int32_t) { return 0; }
    virtual int32_t CopyFromStream(TStream&, int32_t) { return 0; }
    virtual int32_t CopyToStream(TStream&, int32_t) { return 0; }
};

class TTpBigFileStream : public TTpBigStream {
public:
    static constexpr int64_t DefaultPieceSize = int64_t(1) << 30;

    // mode: fmOpenRead / fmOpenReadWrite open the base file and every piece
    // up to the first missing number; fmCreate (and write-only) delete them
    // instead, and pieces are created as writes reach them. pieceSize is the
    // size of every piece but the last (tests use small ones).
    // Raises EFOpenError with the name of a piece that cannot be opened.
    TTpBigFileStream(const AnsiString& fileName, uint16_t mode, int64_t pieceSize = DefaultPieceSize);
    ~TTpBigFileStream() override;
    TTpBigFileStream(const TTpBigFileStream&) = delete;
    TTpBigFileStream& operator=(const TTpBigFileStream&) = delete;

    int64_t GetSize() override;
    int64_t GetPosition() override { return position_; }
    // Past the end is clamped to the end.
    void SetPosition(int64_t position) override;
    // Write, CopyFrom and CopyFromStream move everything or raise an error
    // (EReadError, EWriteError, EFCreateError): a full disk never leaves a
    // stream that looks complete. Read and CopyToStream stop at the end.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Read(void* buffer, int64_t count) override;
    // count 0: the whole source from its start. Between two file streams
    // the bytes move in the kernel where the system can.
    int32_t CopyFrom(TTpBigStream& source, int32_t count) override;
    int32_t CopyFromStream(TStream& source, int32_t count) override;
    int32_t CopyToStream(TStream& dest, int32_t count) override;

    int PieceCount() const { return static_cast<int>(pieces_.size()); }
    AnsiString PieceName(int index) const { return PieceNameOf(fileName_, index); }
    // game.dat -> game.dat, game.001, ..., game.1000; data -> data.001.
    static AnsiString PieceNameOf(std::string_view fileName, int index);
    const AnsiString& FileName() const { return fileName_; }
    int64_t PieceSize() const { return pieceSize_; }
    // Puts every piece's data on the disk; false when one could not be.
    // between is called after each few MiB written out, so that a window
    // waiting for a large archive can stay responsive.
    bool Sync(const std::function<void()>& between = {});
    // For a file that is synced when it is finished: what is written from
    // here on goes out to the disk every `chunk` bytes as the writing goes
    // on, so that the sync waits for little more than the last chunk.
    void SetWriteBehind(int64_t chunk)
    {
        writeBehind_ = chunk;
        behind_ = position_;
    }

private:
    void WriteBehind();
    platform::File* PieceAt(int64_t position);
    platform::File& PieceForWrite(int64_t position);

    AnsiString fileName_;
    uint16_t mode_;
    int64_t pieceSize_;
    int64_t position_ = 0;
    std::vector<std::unique_ptr<platform::File>> pieces_;
    int64_t writeBehind_ = 0, behind_ = 0; // 0: not written behind
};

} // namespace tarn

#include "archive/big_stream.h"

#include <algorithm>

#include "archive/file_ops.h"
#include "base/error.h"
#include "base/format.h"
#include "base/messages.h"
#include "base/path.h"
#include "platform/aside.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace tarn {

namespace {

constexpr int64_t kTransferChunk = 1 << 20;

bool OpensExisting(uint16_t mode) { return mode != fmCreate && ((mode & 0xF) == fmOpenRead || (mode & 0xF) == fmOpenReadWrite); }

platform::File::Mode FileModeOf(uint16_t mode)
{
    using M = platform::File::Mode;
    if (mode == fmCreate)
        return M::Create;
    switch (mode & 0xF) {
    case fmOpenWrite: return M::Write;
    case fmOpenReadWrite: return M::ReadWrite;
    default: return M::Read;
    }
}

} // namespace

TTpBigFileStream::TTpBigFileStream(const AnsiString& fileName, uint16_t mode, int64_t pieceSize)
    : fileName_(fileName), mode_(mode), pieceSize_(pieceSize > 0 ? pieceSize : DefaultPieceSize)
{
    TArchiveFileOps& ops = ArchiveFileOps();
    for (int i = 0;; ++i) {
        AnsiString name = PieceName(i);
        if (!ops.Exists(name))
            break;
        if (OpensExisting(mode_)) {
            auto piece = ops.Open(name, FileModeOf(mode_));
            if (!piece)
                ThrowFileOpenError(platform::ShownPath(name)); // the pieces opened so far close with the vector
            pieces_.push_back(std::move(piece));
        } else {
            ops.Remove(name); // a piece that stays is overwritten or ends the stream later
        }
    }
}

TTpBigFileStream::~TTpBigFileStream() = default;

AnsiString TTpBigFileStream::PieceNameOf(std::string_view fileName, int index)
{
    if (index == 0)
        return AnsiString(fileName);
    return Format(std::string_view("%s.%.3d"), { ChangeFileExt(fileName, ""), index });
}

int64_t TTpBigFileStream::GetSize()
{
    int64_t size = 0;
    for (auto& piece : pieces_)
        if (piece)
            size += std::max<int64_t>(piece->Size(), 0);
    return size;
}

void TTpBigFileStream::SetPosition(int64_t position)
{
    position_ = std::clamp<int64_t>(position, 0, GetSize());
}

platform::File* TTpBigFileStream::PieceAt(int64_t position)
{
    int64_t index = position / pieceSize_;
    return index < static_cast<int64_t>(pieces_.size()) ? pieces_[static_cast<size_t>(index)].get() : nullptr;
}

platform::File& TTpBigFileStream::PieceForWrite(int64_t position)
{
    size_t index = static_cast<size_t>(position / pieceSize_);
    if (index >= pieces_.size())
        pieces_.resize(index + 1);
    if (!pieces_[index]) {
        AnsiString name = PieceName(static_cast<int>(index));
        pieces_[index] = ArchiveFileOps().Open(name, FileModeOf(mode_));
        if (!pieces_[index]) {
            if (mode_ == fmCreate)
                ThrowFileCreateError(platform::ShownPath(name));
            ThrowFileOpenError(platform::ShownPath(name));
        }
    }
    return *pieces_[index];
}

int64_t TTpBigFileStream::Write(const void* buffer, int64_t count)
{
    TArchiveFileOps& ops = ArchiveFileOps();
    const char* p = static_cast<const char*>(buffer);
    int64_t result = 0;
    while (count > 0) {
        platform::File& piece = PieceForWrite(position_);
        int64_t offset = position_ % pieceSize_;
        int64_t n = std::min(pieceSize_ - offset, count);
        piece.Seek(offset);
        if (ops.Write(piece, p, n) != n)
            ThrowWriteError();
        result += n;
        position_ += n;
        p += n;
        count -= n;
    }
    WriteBehind();
    return result;
}

void TTpBigFileStream::WriteBehind()
{
    if (writeBehind_ <= 0)
        return;
    if (position_ < behind_)
        behind_ = position_; // writing again further back (a table)
    if (position_ - behind_ < writeBehind_)
        return;
    for (int64_t at = behind_; at < position_;) {
        int64_t offset = at % pieceSize_;
        int64_t n = std::min(pieceSize_ - offset, position_ - at);
        if (platform::File* piece = PieceAt(at))
            piece->StartWriteBack(offset, n);
        at += n;
    }
    behind_ = position_;
}

int64_t TTpBigFileStream::Read(void* buffer, int64_t count)
{
    TArchiveFileOps& ops = ArchiveFileOps();
    char* p = static_cast<char*>(buffer);
    int64_t result = 0;
    while (count > 0) {
        platform::File* piece = PieceAt(position_);
        if (!piece)
            break;
        int64_t offset = position_ % pieceSize_;
        // Computed from the piece itself: a short piece in the middle ends the
        // data there instead of reading the next piece at a wrong offset.
        int64_t n = std::min(piece->Size() - offset, count);
        if (n <= 0)
            break;
        piece->Seek(offset);
        int64_t got = ops.Read(*piece, p, n);
        if (got <= 0)
            break;
        result += got;
        position_ += got;
        p += got;
        count -= got;
        if (got < n)
            break;
    }
    return result;
}

int32_t TTpBigFileStream::CopyFrom(TTpBigStream& source, int32_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        int64_t size = source.GetSize();
        if (size > MaxStreamSize)
            throw EStreamError(msg::StreamTooLarge, {});
        count = static_cast<int32_t>(size);
    }
    if (count <= 0)
        return 0;
    auto* file = dynamic_cast<TTpBigFileStream*>(&source);
    if (file && file != this) {
        // Piece to piece without a buffer of ours: the kernel copies (or
        // clones) the range where it can.
        TArchiveFileOps& ops = ArchiveFileOps();
        int64_t left = count;
        while (left > 0) {
            platform::File* from = file->PieceAt(file->position_);
            int64_t fromOffset = file->position_ % file->pieceSize_;
            int64_t available = from ? from->Size() - fromOffset : 0;
            if (available <= 0)
                ThrowReadError();
            platform::File& to = PieceForWrite(position_);
            int64_t toOffset = position_ % pieceSize_;
            int64_t n = std::min({ left, available, pieceSize_ - toOffset });
            from->Seek(fromOffset);
            to.Seek(toOffset);
            int64_t moved = ops.CopyRange(*from, to, n);
            if (moved != n) {
                if (from->Size() < fromOffset + n)
                    ThrowReadError();
                ThrowWriteError();
            }
            file->position_ += n;
            position_ += n;
            left -= n;
        }
        WriteBehind();
        return count;
    }
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, kTransferChunk)));
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
        if (source.Read(buffer.data(), n) != n)
            ThrowReadError();
        Write(buffer.data(), n);
        left -= n;
    }
    return count;
}

int32_t TTpBigFileStream::CopyFromStream(TStream& source, int32_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    if (count <= 0)
        return 0;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
        int32_t at = memory->GetPosition();
        if (static_cast<int64_t>(at) + count > memory->GetSize())
            ThrowReadError();
        Write(memory->Memory() + at, count);
        memory->SetPosition(at + count);
        return count;
    }
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, kTransferChunk)));
    int32_t left = count;
    while (left > 0) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(left, static_cast<int64_t>(buffer.size())));
        source.ReadBuffer(buffer.data(), n);
        Write(buffer.data(), n);
        left -= n;
    }
    return count;
}

int32_t TTpBigFileStream::CopyToStream(TStream& dest, int32_t count)
{
    TArchiveFileOps& ops = ArchiveFileOps();
    auto* memory = dynamic_cast<TMemoryStream*>(&dest);
    std::vector<char> buffer;
    int32_t result = 0;
    while (count > 0) {
        platform::File* piece = PieceAt(position_);
        if (!piece)
            break;
        int64_t offset = position_ % pieceSize_;
        int32_t n = static_cast<int32_t>(std::min<int64_t>(piece->Size() - offset, count));
        if (n <= 0)
            break;
        piece->Seek(offset);
        if (memory) {
            // Straight into the memory stream's own bytes.
            int64_t at = memory->GetPosition();
            if (at + n > MaxStreamSize)
                throw EStreamError(msg::StreamTooLarge, {});
            if (at + n > memory->GetSize())
                memory->SetSize(static_cast<int32_t>(at + n));
            if (ops.Read(*piece, memory->Memory() + at, n) != n)
                ThrowReadError();
            memory->SetPosition(static_cast<int32_t>(at + n));
        } else {
            if (buffer.empty())
                buffer.resize(static_cast<size_t>(std::min<int64_t>(count, kTransferChunk)));
            for (int32_t done = 0; done < n;) {
                int32_t chunk = static_cast<int32_t>(std::min<int64_t>(n - done, static_cast<int64_t>(buffer.size())));
                if (ops.Read(*piece, buffer.data(), chunk) != chunk)
                    ThrowReadError();
                dest.WriteBuffer(buffer.data(), chunk);
                done += chunk;
            }
        }
        result += n;
        position_ += n;
        count -= n;
    }
    return result;
}

bool TTpBigFileStream::Sync(const std::function<void()>& between)
{
    // Written out part by part first (a failure there is found again by the
    // whole flush), so that no single wait is long.
    const int64_t part = int64_t(16) << 20;
    bool ok = true;
    for (auto& piece : pieces_) {
        if (!piece)
            continue;
        if (between) {
            int64_t size = piece->Size();
            for (int64_t at = 0; at < size; at += part) {
                piece->SyncRange(at, std::min(part, size - at));
                between();
            }
        }
        // What the system still has to write for the piece as a whole (its
        // metadata, the file system's journal) is waited for aside.
        bool synced = false;
        platform::RunAside([&] { synced = ArchiveFileOps().Sync(*piece); }, between);
        if (!synced)
            ok = false;
    }
    return ok;
}

} // namespace tarn

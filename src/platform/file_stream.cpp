#include "platform/file_stream.h"

#include <algorithm>

#include "base/error.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn {

TFileStream::TFileStream(const AnsiString& fileName, uint16_t mode) : fileName_(fileName)
{
    using M = platform::File::Mode;
    M m = mode == fmCreate ? M::Create : (mode & 0xF) == fmOpenWrite ? M::Write : (mode & 0xF) == fmOpenReadWrite ? M::ReadWrite : M::Read;
    file_ = platform::File::Open(fileName, m);
    if (!file_) {
        if (mode == fmCreate)
            ThrowFileCreateError(platform::ShownPath(fileName));
        ThrowFileOpenError(platform::ShownPath(fileName));
    }
}

int32_t TFileStream::Read(void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    return static_cast<int32_t>(file_->Read(buffer, count));
}

int32_t TFileStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0 || file_->Position() + count > MaxStreamSize)
        return 0;
    return static_cast<int32_t>(file_->Write(buffer, count));
}

int32_t TFileStream::Seek(int64_t offset, SeekOrigin origin)
{
    int64_t base = origin == SeekOrigin::Beginning ? 0 : origin == SeekOrigin::Current ? file_->Position() : file_->Size();
    file_->Seek(std::clamp<int64_t>(base + offset, 0, MaxStreamSize));
    return static_cast<int32_t>(file_->Position());
}

int32_t TFileStream::GetSize()
{
    return static_cast<int32_t>(std::min<int64_t>(file_->Size(), MaxStreamSize));
}

void TFileStream::SetSize(int32_t size)
{
    if (!file_->SetSize(size))
        ThrowWriteError();
    if (file_->Position() > size)
        file_->Seek(size);
}

std::vector<uint8_t> ReadWholeFile(const AnsiString& fileName)
{
    auto f = platform::File::Open(fileName, platform::File::Mode::Read);
    if (!f)
        ThrowFileOpenError(platform::ShownPath(fileName));
    int64_t size = f->Size();
    if (size < 0 || size > MaxStreamSize)
        ThrowReadError();
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (f->Read(bytes.data(), size) != size)
        ThrowReadError();
    return bytes;
}

void WriteFileAtomically(const AnsiString& fileName, std::string_view bytes)
{
    AnsiString tmp = ExtractFilePath(fileName) + "$$" + ExtractFileName(fileName) + ".tmp";
    {
        auto f = platform::File::Open(tmp, platform::File::Mode::Create);
        if (!f)
            ThrowFileCreateError(platform::ShownPath(fileName));
        bool ok = f->Write(bytes.data(), static_cast<int64_t>(bytes.size())) == static_cast<int64_t>(bytes.size()) && f->Sync();
        if (!ok) {
            f.reset();
            platform::RemoveFile(tmp);
            ThrowWriteError();
        }
    }
    if (!platform::RenameFile(tmp, fileName)) {
        platform::RemoveFile(tmp);
        ThrowFileCreateError(platform::ShownPath(fileName));
    }
}

} // namespace tarn

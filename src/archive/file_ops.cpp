#include "archive/file_ops.h"

namespace tarn {

namespace {

TArchiveFileOps& RealOps()
{
    static TArchiveFileOps ops;
    return ops;
}

TArchiveFileOps* g_current = nullptr;

} // namespace

bool TArchiveFileOps::Exists(std::string_view path) { return platform::FileExists(path); }

std::unique_ptr<platform::File> TArchiveFileOps::Open(std::string_view path, platform::File::Mode mode)
{
    return platform::File::Open(path, mode);
}

int64_t TArchiveFileOps::Read(platform::File& file, void* buffer, int64_t count) { return file.Read(buffer, count); }

int64_t TArchiveFileOps::Write(platform::File& file, const void* buffer, int64_t count) { return file.Write(buffer, count); }

int64_t TArchiveFileOps::CopyRange(platform::File& source, platform::File& target, int64_t count)
{
    return platform::File::CopyRange(source, target, count);
}

bool TArchiveFileOps::Sync(platform::File& file) { return file.Sync(); }

bool TArchiveFileOps::Remove(std::string_view path) { return platform::RemoveFile(path); }

bool TArchiveFileOps::Rename(std::string_view from, std::string_view to) { return platform::RenameFile(from, to); }

TArchiveFileOps& ArchiveFileOps() { return g_current ? *g_current : RealOps(); }

TScopedArchiveFileOps::TScopedArchiveFileOps(TArchiveFileOps& ops) : previous_(g_current) { g_current = &ops; }

TScopedArchiveFileOps::~TScopedArchiveFileOps() { g_current = previous_; }

} // namespace tarn

#include "platform/file_routines.h"

#include <algorithm>

#include "base/error.h"
#include "base/path.h"
#include "platform/directory_listing.h"
#include "platform/platform.h"

namespace tarn {

namespace {

void ListInto(const AnsiString& dir, uint16_t attrMask, bool anyFile, StringList& list, bool recurse, bool slashDirs,
              bool clearAttrs, const AnsiString& ext, bool needAttributes, bool whole)
{
    AnsiString base = AddBackslash(dir);
    platform::DirectoryReader reader(base, needAttributes);
    platform::DirEntry e;
    while (reader.Next(e)) {
        if (e.Name == "." || e.Name == "..")
            continue;
        AnsiString path = base + e.Name;
        if (clearAttrs && (e.Attributes & (faReadOnly | faHidden)))
            platform::FileSetAttr(path, e.Attributes & ~(faReadOnly | faHidden));
        bool isDir = (e.Attributes & faDirectory) != 0;
        if (isDir && slashDirs)
            path = AddBackslash(path);
        bool selected = isDir ? (attrMask & faDirectory) != 0 : ((attrMask & e.Attributes) != 0 || anyFile);
        if (selected && (isDir || ext.empty() || SameText(ExtractFileExt(path), ext)))
            list.push_back(path);
        if (recurse && isDir && !e.IsLink)
            ListInto(path, attrMask, anyFile, list, true, true, clearAttrs, ext, needAttributes, whole);
    }
    if (whole && platform::ListingFailed()) {
        AnsiString reason = platform::LastErrorText();
        throw EOSError(u8"フォルダ %s を読めません: %s", { platform::ShownPath(ExcludeTrailingBackslash(base)), reason });
    }
}

// The read-only bit costs a call per entry on POSIX; ask for it only when the
// arguments can depend on it.
bool NeedAttributes(uint16_t attrMask, bool anyFile, bool clearAttrs)
{
    return clearAttrs || (!anyFile && (attrMask & faReadOnly) && !(attrMask & faArchive));
}

} // namespace

void ListFiles(const AnsiString& dir, uint16_t attrMask, bool anyFile, bool clearList, StringList& list, bool recurse,
               bool slashDirs, bool clearAttrs, const AnsiString& ext)
{
    if (clearList)
        list.clear();
    ListInto(dir, attrMask, anyFile, list, recurse, slashDirs, clearAttrs, ext, NeedAttributes(attrMask, anyFile, clearAttrs), false);
}

void ListFilesOrFail(const AnsiString& dir, uint16_t attrMask, bool anyFile, bool clearList, StringList& list, bool recurse,
                     bool slashDirs, bool clearAttrs, const AnsiString& ext)
{
    if (clearList)
        list.clear();
    ListInto(dir, attrMask, anyFile, list, recurse, slashDirs, clearAttrs, ext, NeedAttributes(attrMask, anyFile, clearAttrs), true);
}

CopyOutcome CopyIfChangedOutcome(const AnsiString& source, const AnsiString& target, bool skipSame,
                                 const platform::CopyProgress& progress, platform::Sha256Digest* digest)
{
    auto copy = [&] {
        bool stopped = false;
        platform::CopyProgress watched;
        if (progress)
            watched = [&](int64_t copied) { return !(stopped = !progress(copied)); };
        std::optional<platform::Sha256> sha;
        if (digest)
            sha.emplace();
        if (platform::CopyFileWithAttributes(source, target, watched, sha ? &*sha : nullptr)) {
            if (digest)
                *digest = sha->Finish();
            return CopyOutcome::Copied;
        }
        return stopped ? CopyOutcome::Stopped : CopyOutcome::Failed;
    };
    auto unchanged = [&] {
        // What is there counts: it is read (not taken from any record).
        if (digest) {
            std::optional<platform::Sha256Digest> there = HashFile(target);
            if (!there)
                return copy();
            *digest = *there;
        }
        return CopyOutcome::Unchanged;
    };
    if (skipSame) {
        // One look at each entry gives existence, time and size; opening is
        // only tested, as the sizes come from the same look.
        platform::FileInfo t = platform::StatFile(target);
        if (t.Exists && !t.IsDirectory) {
            platform::FileInfo s = platform::StatFile(source);
            if (s.DosDateTime && t.DosDateTime && *s.DosDateTime == *t.DosDateTime) {
                if (s.IsDirectory || !platform::CanOpenForReading(source))
                    return copy();
                if (!platform::CanOpenForReading(target))
                    ThrowFileOpenError(platform::ShownPath(target));
                if (t.Size == s.Size)
                    return unchanged();
            }
        }
    }
    return copy();
}

bool CopyIfChanged(const AnsiString& source, const AnsiString& target, bool skipSame, const platform::CopyProgress& progress)
{
    return CopyIfChangedOutcome(source, target, skipSame, progress) != CopyOutcome::Failed;
}

std::optional<platform::Sha256Digest> HashFile(const AnsiString& path, std::optional<int64_t> size)
{
    auto f = platform::File::Open(path, platform::File::Mode::Read);
    if (!f)
        return std::nullopt;
    platform::Sha256 sha;
    // A small file gets a buffer of its size: the hashing of many small files
    // clears no megabyte for each.
    const int64_t expected = size ? *size : f->Size();
    std::vector<char> buffer(static_cast<size_t>(std::clamp<int64_t>(expected, 1, int64_t(1) << 20)));
    int64_t done = 0;
    for (;;) {
        int64_t n = f->Read(buffer.data(), static_cast<int64_t>(buffer.size()));
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        sha.Update(buffer.data(), static_cast<size_t>(n));
        done += n;
        // Longer than it should be: no need to read the rest (through a
        // buffer made for the size expected, which may be tiny).
        if (done > expected)
            return std::nullopt;
    }
    // Shorter than its size: a read failed on the way (a read error and the
    // file's end look the same to Read).
    if (done != expected)
        return std::nullopt;
    return sha.Finish();
}

int64_t FileSizeOf(const AnsiString& path)
{
    auto f = platform::File::Open(path, platform::File::Mode::Read);
    if (!f)
        return 0;
    int64_t size = f->Size();
    return size < 0 ? 0 : size;
}

namespace {

std::vector<platform::DirEntry> Sorted(const AnsiString& dir, bool whole)
{
    std::vector<platform::DirEntry> list;
    platform::DirectoryReader reader(AddBackslash(dir), false);
    platform::DirEntry e;
    while (reader.Next(e))
        if (e.Name != "." && e.Name != "..")
            list.push_back(e);
    if (whole && platform::ListingFailed()) {
        AnsiString reason = platform::LastErrorText();
        throw EOSError(u8"フォルダ %s を読めません: %s", { platform::ShownPath(ExcludeTrailingBackslash(dir)), reason });
    }
    std::sort(list.begin(), list.end(), [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.Name < b.Name; });
    return list;
}

} // namespace

std::vector<platform::DirEntry> SortedDirectory(const AnsiString& dir) { return Sorted(dir, false); }

std::vector<platform::DirEntry> SortedDirectoryOrFail(const AnsiString& dir) { return Sorted(dir, true); }

void DeleteAtReboot(const AnsiString& path) { platform::ScheduleDeleteAtReboot(path); }

AnsiString GetSpecialFolder(int csidl) { return platform::SpecialFolder(csidl); }

} // namespace tarn

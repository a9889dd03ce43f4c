// Building the discs: files, game.dat with the title picture, and install.dat
// with the component sizes that an installation from the disc will copy.
#include <algorithm>
#include <ctime>
#include <memory>

#include "archive/big_stream.h"
#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "common/tool.h"
#include "graphics/bmp_file.h"
#include "graphics/dib_surface.h"
#include "graphics/gale_writer.h"
#include "graphics/png_file.h"
#include "common/install_json.h"
#include "mkdisc.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "setup/install_rules.h"
#include "setup/install_set.h"

namespace tarn::mkdisc {

using tools::Json;
using tools::ToolError;

namespace {

constexpr uint32_t kDirectoryAttr = 0x10;
constexpr uint32_t kReadOnlyAttr = 0x01;

AnsiString DiscName(size_t index) { return "disc" + IntToStr(static_cast<int64_t>(index) + 1); }

void RemoveTree(const AnsiString& path)
{
    AnsiString dir = AddBackslash(path);
    int32_t attr = platform::FileGetAttr(path);
    if (attr >= 0 && (attr & kReadOnlyAttr))
        platform::FileSetAttr(path, static_cast<uint32_t>(attr) & ~kReadOnlyAttr);
    std::vector<platform::DirEntry> list;
    {
        platform::DirectoryReader reader(dir, true);
        platform::DirEntry e;
        while (reader.Next(e))
            if (e.Name != "." && e.Name != "..")
                list.push_back(e);
    }
    for (const platform::DirEntry& e : list) {
        AnsiString p = dir + e.Name;
        if ((e.Attributes & kDirectoryAttr) && !e.IsLink) {
            RemoveTree(p);
            continue;
        }
        if (e.Attributes & kReadOnlyAttr)
            platform::FileSetAttr(p, e.Attributes & ~kReadOnlyAttr);
        if (!platform::RemoveFile(p))
            platform::RemoveDir(p);
    }
    platform::RemoveDir(ExcludeTrailingBackslash(dir));
}

// discN, the folder of a disc, or discN.iso, discN.bin and discN.cue, its image.
bool IsDiscName(std::string_view name, bool isDir)
{
    if (!isDir) {
        AnsiString ext = AnsiLowerCase(ExtractFileExt(name));
        if (ext != ".iso" && ext != ".bin" && ext != ".cue")
            return false;
        name.remove_suffix(ext.size());
    }
    return name.size() > 4 && name.starts_with("disc") &&
           std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Only a directory that holds nothing but discs is replaced: never a
// directory of other things named by mistake.
void CheckReplaceable(const AnsiString& out)
{
    if (platform::FileExists(out))
        throw ToolError(platform::DisplayPath(out) + ": is a file, not a directory for the discs");
    if (!platform::DirectoryExists(out))
        return;
    platform::DirectoryReader reader(AddBackslash(out), false);
    platform::DirEntry e;
    while (reader.Next(e)) {
        if (e.Name == "." || e.Name == "..")
            continue;
        if (!IsDiscName(e.Name, (e.Attributes & kDirectoryAttr) != 0))
            throw ToolError(platform::DisplayPath(out) + ": holds " + Cp932ToUtf8Lossy(e.Name) +
                            ", which is no disc of a disc set: choose a new or empty directory");
    }
}

std::string TitleGale(const TitleSpec& t)
{
    std::vector<uint8_t> bytes = ReadWholeFile(t.Source);
    std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    TDIBSurface picture;
    try {
        if (data.starts_with("\x89PNG\r\n\x1a\n")) {
            if (!PngAvailable())
                throw ToolError("title_image: " + t.Shown + ": this build cannot read PNG pictures; give a BMP picture");
            DecodePng(data, picture);
        } else if (data.starts_with("BM")) {
            DecodeBitmap(data, picture);
        } else {
            throw ToolError("title_image: " + t.Shown + ": not a PNG or BMP picture");
        }
    } catch (const Exception& e) {
        throw ToolError("title_image: " + t.Shown + ": " + Cp932ToUtf8Lossy(e.Message()));
    }
    TGaleWriterOptions options;
    options.Version = t.Version;
    options.Seed = t.Seed.value_or(0);
    options.Scramble = t.Scramble;
    options.TileWidth = t.TileWidth;
    options.TileHeight = t.TileHeight;
    try {
        return WriteGale({ TGaleWriterFrame::OfSurface(picture) }, options);
    } catch (const Exception& e) {
        throw ToolError("title_image: " + Cp932ToUtf8Lossy(e.Message()));
    }
}

int32_t Size32(int64_t bytes, const std::string& what)
{
    if (bytes > INT32_MAX)
        throw ToolError(what + " holds " + std::to_string(bytes) + " bytes, more than a description can hold (2 GiB - 1)");
    return static_cast<int32_t>(bytes);
}

// The component sizes as an installation counts them: the files it copies
// from the disc, and the disc's game.dat with its pieces.
void MeasureDisc(const AnsiString& dir, DiscReport& report)
{
    StringList list;
    ListFiles(dir, 0x2F, true, true, list, true, false, false, "");
    int64_t sizes[4] = {};
    for (const AnsiString& entry : list) {
        TDiscFileKind kind = DiscFileKindOf(entry, dir);
        if (kind != TDiscFileKind::NotCopied)
            sizes[static_cast<int>(kind)] += FileSizeOf(entry);
    }
    int64_t data = 0;
    for (int i = 0;; ++i) {
        AnsiString piece = TTpBigFileStream::PieceNameOf(dir + "game.dat", i);
        if (!platform::FileExists(piece))
            break;
        data += FileSizeOf(piece);
    }
    std::string disc = Cp932ToUtf8Lossy(ExtractFileName(ExcludeTrailingBackslash(dir)));
    report.Program = Size32(sizes[static_cast<int>(TDiscFileKind::Program)], disc + ": the program files");
    report.Sound = Size32(sizes[static_cast<int>(TDiscFileKind::Sound)], disc + ": the sound files");
    report.Movie = Size32(sizes[static_cast<int>(TDiscFileKind::Movie)], disc + ": the movie files");
    report.Data = Size32(data, disc + ": game.dat");
}

class Builder {
public:
    Builder(const Manifest& m, int64_t total) : m_(m), progress_("mkdisc", total) { }

    DiscReport WriteDisc(size_t index, const AnsiString& dir, const std::string& gale)
    {
        const DiscSpec& discSpec = m_.Discs[index];
        if (!platform::ForceDirectories(dir))
            throw ToolError(platform::DisplayPath(dir) + ": cannot create the directory");
        for (const FileInput& f : discSpec.Files) {
            AnsiString target = dir + f.Dest;
            AnsiString parent = ExtractFilePath(target);
            if (!platform::ForceDirectories(ExcludeTrailingBackslash(parent)) ||
                !platform::CopyFileWithAttributes(f.Source, target))
                throw ToolError("cannot copy " + platform::DisplayPath(f.Source) + " to " + platform::DisplayPath(target));
            done_ += std::max<int64_t>(platform::FileSize(f.Source), 0);
            progress_.Update(done_);
        }
        std::vector<TVrNewEntry> entries;
        if (m_.Title) {
            TVrNewEntry title;
            title.Name = m_.Title->Name;
            title.Data = gale;
            entries.push_back(std::move(title));
        }
        for (const EntryInput& e : discSpec.Entries) {
            TVrNewEntry entry;
            entry.Name = e.Name;
            entry.SourceFile = e.Source;
            entry.Store = e.Stored;
            entries.push_back(std::move(entry));
        }
        if (!entries.empty()) {
            TVrWriteOptions options;
            if (m_.PieceSize)
                options.PieceSize = *m_.PieceSize;
            int64_t before = done_;
            options.OnProgress = [&](size_t, int64_t contentDone) { progress_.Update(before + contentDone); };
            WriteVrArchive(dir + "game.dat", entries, options);
            for (const EntryInput& e : discSpec.Entries)
                done_ += std::max<int64_t>(platform::FileSize(e.Source), 0);
        }
        DiscReport report;
        report.Files = discSpec.Files.size();
        report.Entries = entries.size();
        MeasureDisc(dir, report);
        return report;
    }

private:
    const Manifest& m_;
    tools::Progress progress_;
    int64_t done_ = 0;
};

// The files mkdisc writes itself take the time of the newest source, so that
// the same sources give the same discs (an image the same bytes).
int64_t NewestSourceTime(const Manifest& m)
{
    uint32_t newest = 0x00210000; // 1980-01-01 00:00
    auto see = [&](const AnsiString& path) { newest = std::max(newest, platform::FileDosDateTime(path).value_or(0)); };
    for (const DiscSpec& d : m.Discs) {
        for (const FileInput& f : d.Files)
            see(f.Source);
        for (const EntryInput& e : d.Entries)
            see(e.Source);
    }
    if (m.Title)
        see(m.Title->Source);
    // DOS times are local, as mktime takes them.
    std::tm t {};
    t.tm_year = static_cast<int>(newest >> 25) + 80;
    t.tm_mon = static_cast<int>(newest >> 21 & 15) - 1;
    t.tm_mday = static_cast<int>(newest >> 16 & 31);
    t.tm_hour = static_cast<int>(newest >> 11 & 31);
    t.tm_min = static_cast<int>(newest >> 5 & 63);
    t.tm_sec = static_cast<int>(newest & 31) * 2;
    t.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&t));
}

void StampMadeFiles(const AnsiString& dir, int64_t time)
{
    platform::SetFileTimeUnix(dir + "install.dat", time);
    for (int i = 0;; ++i) {
        AnsiString piece = TTpBigFileStream::PieceNameOf(dir + "game.dat", i);
        if (!platform::FileExists(piece))
            break;
        platform::SetFileTimeUnix(piece, time);
    }
}

const char* const kListNames[] = { "ProgramSizes", "DataSizes", "SoundSizes", "MovieSizes" };
const char* const kTotalNames[] = { "ProgramTotal", "DataTotal", "SoundTotal", "MovieTotal" };
int32_t TTarnInstallSet::*const kTotals[] = { &TTarnInstallSet::ProgramTotal, &TTarnInstallSet::DataTotal,
                                             &TTarnInstallSet::SoundTotal, &TTarnInstallSet::MovieTotal };

// Shared values, the disc's own over them, mkdisc's disc numbers; sizes and
// totals left out come from what the discs hold.
TTarnInstallSet DescriptionOf(const Manifest& m, size_t index, const std::vector<DiscReport>& reports)
{
    const DiscSpec& discSpec = m.Discs[index];
    TTarnInstallSet d;
    d.SetDiscCount(static_cast<int32_t>(m.Discs.size()));
    tools::ApplyInstallJson(m.Install, d);
    tools::ApplyInstallJson(discSpec.Install, d);
    d.DiscIndex = static_cast<int32_t>(index);
    std::string where = "discs[" + std::to_string(index) + "]: install: ";
    if (m.Title && d.ImageSeed != m.Title->Seed.value_or(0))
        throw ToolError(where + "ImageSeed differs from title_image's seed: the picture could not be read");
    for (int k = 0; k < 4; ++k) {
        std::span<int32_t> list = tools::InstallListOf(d, k);
        if (!m.Install.contains(kListNames[k]) && !discSpec.Install.contains(kListNames[k]))
            for (size_t i = 0; i < reports.size(); ++i) {
                const DiscReport& r = reports[i];
                list[i] = k == 0 ? r.Program : k == 1 ? r.Data : k == 2 ? r.Sound : r.Movie;
            }
        if (!m.Install.contains(kTotalNames[k]) && !discSpec.Install.contains(kTotalNames[k])) {
            int64_t sum = 0;
            for (int32_t v : list)
                sum += v;
            d.*kTotals[k] = Size32(sum, std::string(kTotalNames[k]));
        }
    }
    return d;
}

} // namespace

std::vector<DiscReport> BuildDiscSet(const Manifest& m, const AnsiString& outDir, ImageFormat image)
{
    AnsiString out = ExcludeTrailingBackslash(outDir);
    if (ExtractFileName(out).empty())
        throw ToolError(platform::DisplayPath(outDir) + ": give a directory below a parent, not a root");
    CheckReplaceable(out);
    // Everything that can be found wrong before writing is found here.
    std::string gale = m.Title ? TitleGale(*m.Title) : std::string();
    std::vector<DiscReport> none(m.Discs.size());
    for (size_t i = 0; i < m.Discs.size(); ++i)
        DescriptionOf(m, i, none);

    int64_t total = 0;
    for (const DiscSpec& d : m.Discs) {
        for (const FileInput& f : d.Files) {
            int64_t size = platform::FileSize(f.Source);
            if (image != ImageFormat::None && size > 0xFFFFFFFFll)
                throw ToolError(platform::DisplayPath(f.Source) + ": " + std::to_string(size) +
                                " bytes; a file on an image holds at most 4 GiB - 1 (4294967295 bytes)");
            total += std::max<int64_t>(size, 0);
        }
        for (const EntryInput& e : d.Entries)
            total += std::max<int64_t>(platform::FileSize(e.Source), 0);
    }

    // Built beside the target and renamed into place, so that a failure
    // leaves no half-built disc set behind.
    AnsiString work = out + ".mkdisc-work", old = out + ".mkdisc-old";
    for (const AnsiString& leftover : { work, old })
        if (platform::DirectoryExists(leftover))
            RemoveTree(leftover);
    if (!platform::ForceDirectories(work))
        throw ToolError(platform::DisplayPath(work) + ": cannot create the directory");
    std::vector<DiscReport> reports;
    try {
        Builder builder(m, total);
        for (size_t i = 0; i < m.Discs.size(); ++i)
            reports.push_back(builder.WriteDisc(i, work + "\\" + DiscName(i) + "\\", gale));
        int64_t time = NewestSourceTime(m);
        for (size_t i = 0; i < m.Discs.size(); ++i) {
            AnsiString dir = work + "\\" + DiscName(i) + "\\";
            DescriptionOf(m, i, reports).SaveToFile(dir + "install.dat");
            StampMadeFiles(dir, time);
        }
        // Each disc's folder gives way to its image as soon as that is written.
        for (size_t i = 0; image != ImageFormat::None && i < m.Discs.size(); ++i) {
            std::unique_ptr<tools::Progress> progress;
            ImageTarget target;
            target.Format = image;
            target.Base = work + "\\" + DiscName(i);
            target.VolumeId = AnsiUpperCase(DiscName(i));
            target.OnProgress = [&](int64_t done, int64_t all) {
                if (!progress)
                    progress = std::make_unique<tools::Progress>(DiscName(i) + (image == ImageFormat::Cue ? ".bin" : ".iso"), all);
                progress->Update(done);
            };
            WriteDiscImage(work + "\\" + DiscName(i) + "\\", target);
            RemoveTree(work + "\\" + DiscName(i));
        }
    } catch (...) {
        RemoveTree(work);
        throw;
    }

    bool hadOld = platform::DirectoryExists(out);
    if (hadOld && !platform::RenameFile(out, old)) {
        RemoveTree(work);
        throw ToolError(platform::DisplayPath(out) + ": cannot move the earlier disc set aside");
    }
    if (!platform::RenameFile(work, out)) {
        if (hadOld)
            platform::RenameFile(old, out);
        RemoveTree(work);
        throw ToolError(platform::DisplayPath(out) + ": cannot put the new disc set in place");
    }
    if (hadOld)
        RemoveTree(old);
    const char* ext = image == ImageFormat::Iso ? ".iso" : image == ImageFormat::Cue ? ".cue" : "\\";
    for (size_t i = 0; i < reports.size(); ++i)
        reports[i].Dir = out + "\\" + DiscName(i) + ext;
    return reports;
}

} // namespace tarn::mkdisc

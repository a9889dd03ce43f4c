#include "archive/vr_writer.h"

#include <algorithm>
#include <memory>

#include <zlib.h>

#include "archive/file_ops.h"
#include "archive/vr_files.h"
#include "archive/vr_format.h"
#include "archive/vr_messages.h"
#include "base/byte_reader.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace tarn {

namespace {

constexpr size_t kChunk = 1 << 20;

// Reads an entry's content piece by piece, from its file or from memory.
class ContentReader {
public:
    explicit ContentReader(const TVrNewEntry& entry) : entry_(entry)
    {
        if (!entry.SourceFile.empty()) {
            file_ = ArchiveFileOps().Open(entry.SourceFile, platform::File::Mode::Read);
            if (!file_)
                ThrowFileOpenError(platform::ShownPath(entry.SourceFile));
        }
    }
    // Up to max bytes; 0 at the end.
    size_t Next(char* buffer, size_t max)
    {
        if (!file_) {
            size_t n = std::min(max, entry_.Data.size() - at_);
            std::copy_n(entry_.Data.data() + at_, n, buffer);
            at_ += n;
            return n;
        }
        int64_t n = ArchiveFileOps().Read(*file_, buffer, static_cast<int64_t>(max));
        if (n < 0)
            ThrowReadError();
        return static_cast<size_t>(n);
    }

private:
    const TVrNewEntry& entry_;
    std::unique_ptr<platform::File> file_;
    size_t at_ = 0;
};

class Writer {
public:
    Writer(TTpBigFileStream& out, const AnsiString& archive) : out_(out), archive_(archive) { }

    void Write(const void* data, size_t size)
    {
        if (out_.GetPosition() + static_cast<int64_t>(size) > MaxStreamSize)
            throw EVrArchiveError(msg::VrTooLarge, { archive_, FormatThousands(out_.GetPosition() + static_cast<int64_t>(size)) });
        out_.Write(data, static_cast<int64_t>(size));
    }

    // Returns the content bytes read.
    int64_t Entry(const TVrNewEntry& entry, int level, std::vector<char>& in, std::vector<char>& out)
    {
        ContentReader reader(entry);
        int64_t total = 0;
        if (entry.Store) {
            while (size_t n = reader.Next(in.data(), in.size())) {
                Write(in.data(), n);
                total += static_cast<int64_t>(n);
            }
            return total;
        }
        z_stream z{};
        if (deflateInit(&z, level) != Z_OK)
            throw EVrArchiveError(msg::VrInflate, { entry.Name, "deflateInit" });
        struct End {
            z_stream& z;
            ~End() { deflateEnd(&z); }
        } end{ z };
        int flush = Z_NO_FLUSH;
        do {
            size_t n = reader.Next(in.data(), in.size());
            total += static_cast<int64_t>(n);
            flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
            z.next_in = reinterpret_cast<Bytef*>(in.data());
            z.avail_in = static_cast<uInt>(n);
            do {
                z.next_out = reinterpret_cast<Bytef*>(out.data());
                z.avail_out = static_cast<uInt>(out.size());
                deflate(&z, flush);
                Write(out.data(), out.size() - z.avail_out);
            } while (z.avail_out == 0);
        } while (flush != Z_FINISH);
        return total;
    }

private:
    TTpBigFileStream& out_;
    const AnsiString& archive_;
};

} // namespace

void WriteVrArchive(const AnsiString& fileName, const std::vector<TVrNewEntry>& entries, const TVrWriteOptions& options)
{
    int32_t version = options.Version;
    int64_t count = static_cast<int64_t>(entries.size());
    std::vector<const AnsiString*> names;
    int64_t stored = 0;
    for (const TVrNewEntry& entry : entries) {
        // A record of length 0 is skipped by readers, which would shift
        // every offset after it.
        if (entry.Name.empty())
            throw EVrArchiveError(Sjis(msg::VrBadEntryName));
        if (entry.Store && version < kVrFlagsVersion)
            throw EVrArchiveError(msg::VrCannotStore, { version });
        names.push_back(&entry.Name);
        if (entry.Store)
            stored += entry.SourceFile.empty() ? static_cast<int64_t>(entry.Data.size()) : std::max<int64_t>(platform::FileSize(entry.SourceFile), 0);
    }
    // Without the magic, a count whose low bytes read "vf" would be taken for it.
    if (version == 0 && (count & 0xFFFF) == 0x6676)
        throw EVrArchiveError(msg::VrAmbiguousCount, { count });
    if (count > INT32_MAX)
        throw EVrArchiveError(msg::VrTooLarge, { fileName, FormatThousands(count) });
    bool flags = version >= kVrFlagsVersion;
    int64_t base = 0;
    if (options.Appended) {
        base = platform::FileSize(fileName);
        if (!platform::FileExists(fileName) || base < 0)
            ThrowFileOpenError(platform::ShownPath(fileName));
    }
    int64_t directory = VrDirectoryHeadSize(version, names) + 4 * (count + 1) + (flags ? count : 0);
    if (base + directory + stored > MaxStreamSize)
        throw EVrArchiveError(msg::VrTooLarge, { fileName, FormatThousands(base + directory + stored) });

    AnsiString dir = ExtractFilePath(fileName);
    AnsiString work = dir + kVrWorkFile;
    if (platform::FileExists(fileName))
        DeleteBigFile(dir + kVrSetAsideFile); // left by an interrupted merge
    int workPieces = 0;
    {
        std::unique_ptr<TTpBigFileStream> out;
        try {
            out = std::make_unique<TTpBigFileStream>(work, fmCreate, options.PieceSize);
            Writer writer(*out, fileName);
            if (options.Appended) {
                TTpBigFileStream program(fileName, fmOpenRead, options.PieceSize);
                if (program.GetSize() != base)
                    ThrowReadError();
                if (base > 0)
                    out->CopyFrom(program, static_cast<int32_t>(base));
            }
            ByteWriter head;
            AppendVrHeader(head, version, static_cast<int32_t>(count));
            AppendVrNames(head, names, version);
            int64_t tableAt = base + static_cast<int64_t>(head.Size());
            std::vector<int32_t> offsets(static_cast<size_t>(count) + 1, 0);
            AppendVrOffsets(head, offsets, 0);
            if (flags)
                for (const TVrNewEntry& entry : entries)
                    head.U8(entry.Store ? 1 : 0);
            writer.Write(head.Data().data(), head.Size());

            std::vector<char> in(kChunk), deflated(kChunk);
            int64_t done = 0;
            for (size_t i = 0; i < entries.size(); ++i) {
                offsets[i] = static_cast<int32_t>(out->GetPosition());
                done += writer.Entry(entries[i], options.Level, in, deflated);
                if (options.OnProgress)
                    options.OnProgress(i, done);
            }
            offsets.back() = static_cast<int32_t>(out->GetPosition());
            if (options.Appended) {
                ByteWriter trailer;
                trailer.I32(static_cast<int32_t>(base));
                writer.Write(trailer.Data().data(), trailer.Size());
            }
            workPieces = FinishWorkArchive(*out, tableAt, offsets, version, options.Sync, work);
        } catch (...) {
            out.reset();
            DeleteBigFile(work);
            throw;
        }
    }
    ReplaceArchive(work, workPieces, fileName);
}

} // namespace tarn

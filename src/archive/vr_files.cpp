#include "archive/vr_files.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "archive/file_ops.h"
#include "archive/tp_random.h"
#include "archive/vr_messages.h"
#include "base/codepage.h"
#include "base/format.h"
#include "base/messages.h"
#include "base/path.h"
#include "platform/file_stream.h"

namespace tarn {

namespace {

// Reads the directory through a buffer (a 200,000-entry directory is
// millions of small fields) and knows how much of the stream is left, so
// that no length is believed before it is checked against the file.
class DirectoryInput {
public:
    explicit DirectoryInput(TTpBigStream& stream) : stream_(stream), size_(stream.GetSize()), at_(stream.GetPosition()) { }

    int64_t Remaining() const { return size_ - at_; }
    int64_t Size() const { return size_; }

    bool Read(void* out, int64_t count)
    {
        if (count > Remaining())
            return false;
        char* p = static_cast<char*>(out);
        while (count > 0) {
            if (next_ == buffer_.size() && !Fill())
                return false;
            size_t n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(buffer_.size() - next_)));
            std::memcpy(p, buffer_.data() + next_, n);
            next_ += n, p += n, at_ += static_cast<int64_t>(n), count -= static_cast<int64_t>(n);
        }
        return true;
    }
    bool I32(int32_t& value)
    {
        uint8_t b[4];
        if (!Read(b, 4))
            return false;
        value = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
                                     static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
    void Rewind(int64_t position)
    {
        stream_.SetPosition(position);
        at_ = position;
        buffer_.clear();
        next_ = 0;
    }

private:
    bool Fill()
    {
        buffer_.resize(static_cast<size_t>(std::min<int64_t>(Remaining(), 1 << 16)));
        next_ = 0;
        if (buffer_.empty())
            return false;
        int64_t got = stream_.Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
        if (got <= 0) {
            buffer_.clear();
            return false;
        }
        buffer_.resize(static_cast<size_t>(got));
        return true;
    }

    TTpBigStream& stream_;
    int64_t size_;
    int64_t at_;
    std::vector<char> buffer_;
    size_t next_ = 0;
};

} // namespace

TVrFileCollection::~TVrFileCollection() = default;

std::unique_ptr<THashCollectionItem> TVrFileCollection::NewItem()
{
    return std::unique_ptr<THashCollectionItem>(new TVrFile(*this));
}

TVrFile& TVrFileCollection::AddEntry(const AnsiString& name)
{
    auto& item = static_cast<TVrFile&>(Add());
    item.SetName(name);
    return item;
}

void TVrFileCollection::DeleteEntry(const AnsiString& name)
{
    int32_t index = IndexOf(name);
    if (index >= 0)
        Delete(index);
}

void TVrFileCollection::Open(const AnsiString& fileName, bool asFile)
{
    Clear();
    Stream.reset();
    Version = 0;
    ArchiveStart = 0;
    DirectoryProblems.clear();
    FileName = fileName;
    bool exists = !fileName.empty() && ArchiveFileOps().Exists(fileName);
    BaseDir = exists || asFile ? ExtractFilePath(fileName) : fileName;
    if (!BaseDir.empty() && !IsPathSeparator(BaseDir, static_cast<int>(BaseDir.size())))
        BaseDir += '\\';
    if (!exists)
        return;
    try {
        Stream = std::make_unique<TTpBigFileStream>(fileName, fmOpenRead, PieceSize);
        ReadDirectory();
    } catch (...) {
        Clear();
        Stream.reset();
        throw;
    }
}

void TVrFileCollection::ReadDirectory()
{
    // In strict mode the first fault ends the reading with an error; otherwise
    // it is noted, and reading goes on as far as the format allows.
    auto fault = [&](const AnsiString& detail) {
        AnsiString message = Format(msg::VrDamaged, { FileName, detail });
        if (StrictDirectory)
            throw EVrArchiveError(message);
        // A file of nothing but empty records would note millions.
        if (DirectoryProblems.size() < 1000)
            DirectoryProblems.push_back(message);
    };
    auto give_up = [&](const AnsiString& detail) {
        fault(detail);
        Clear();
    };
    TTpBigFileStream& stream = *Stream;
    int64_t size = stream.GetSize();

    if (Appended || SameText(FileName, platform::ModuleFileName())) {
        int32_t start = -1;
        if (size >= 4) {
            stream.SetPosition(size - 4);
            uint8_t b[4];
            if (stream.Read(b, 4) == 4)
                start = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
        }
        if (start < 0 || start > size - 4)
            return give_up(Format(msg::VrBadStart, { start }));
        ArchiveStart = start;
    }
    stream.SetPosition(ArchiveStart);
    DirectoryInput in(stream);

    char magic[2];
    Version = 0;
    if (in.Read(magic, 2) && magic[0] == 'v' && magic[1] == 'f') {
        if (!in.I32(Version))
            return give_up(Sjis(msg::VrTruncated));
    } else {
        in.Rewind(ArchiveStart);
    }
    int32_t count;
    if (!in.I32(count))
        return give_up(Sjis(msg::VrTruncated));
    if (count < 0)
        return give_up(Format(msg::VrNegativeCount, { count }));
    // Every record holds at least its length, and the offset table at least
    // its end value: a count that cannot fit is refused before anything is
    // allocated for it.
    if (StrictDirectory && 4 * static_cast<int64_t>(count) + 4 > in.Remaining())
        return give_up(Format(msg::VrCountTooLarge, { count }));

    bool scrambled = Version >= kVrScrambledVersion;
    TTpRandom names(kVrArchiveSeed);
    AnsiString name;
    for (int32_t i = 0; i < count; ++i) {
        int32_t length;
        if (!in.I32(length))
            return give_up(Sjis(msg::VrTruncated));
        if (length <= 0) {
            // Readers of the format skip such a record; only a negative
            // length is damage, an empty record is merely odd.
            if (length < 0)
                fault(Format(msg::VrBadNameLength, { i, length }));
            else if (!StrictDirectory)
                fault(Format(msg::VrEmptyName, { i }));
            continue;
        }
        if (length > in.Remaining())
            return give_up(Format(msg::VrBadNameLength, { i, length }));
        name.resize(static_cast<size_t>(length));
        if (!in.Read(name.data(), length))
            return give_up(Sjis(msg::VrTruncated));
        if (scrambled)
            for (char& c : name)
                c = static_cast<char>(static_cast<uint8_t>(c) ^ static_cast<uint8_t>(names.Next()));
        AddEntry(name);
    }
    AddEntry(kVrEndMarker);

    int32_t n = Count();
    TTpRandom offsets(kVrArchiveSeed);
    for (int32_t i = 0; i < n; ++i) {
        int32_t value;
        if (!in.I32(value))
            return give_up(Sjis(msg::VrTruncated));
        if (scrambled)
            value = static_cast<int32_t>(static_cast<uint32_t>(value) ^ offsets.Next());
        Items(i).Offset = value;
    }
    if (Version >= kVrFlagsVersion) {
        for (int32_t i = 0; i + 1 < n; ++i) {
            uint8_t flag;
            if (!in.Read(&flag, 1))
                return give_up(Sjis(msg::VrTruncated));
            Items(i).Stored = flag;
        }
    }
    for (int32_t i = 0; i + 1 < n; ++i)
        Items(i).Size = Items(i + 1).Offset - Items(i).Offset;
    if (!StrictDirectory)
        return;
    for (int32_t i = 0; i < n; ++i) {
        int32_t offset = Items(i).Offset;
        if (offset < 0 || offset > size)
            return give_up(Format(msg::VrOffsetOutside, { i, offset }));
        if (i > 0 && offset < Items(i - 1).Offset)
            return give_up(Format(msg::VrOffsetDecreasing, { i, offset, Items(i - 1).Offset }));
    }
}

void TVrFileCollection::LoadEntry(TMemoryStream& dest, const AnsiString& name)
{
    dest.Clear();
    AnsiString loose = BaseDir + name;
    if (ArchiveFileOps().Exists(loose)) {
        dest.Assign(ReadWholeFile(loose));
        return;
    }
    int32_t index = Stream ? IndexOf(name) : -1;
    if (index < 0)
        throw EVrFileNotFound(msg::FileNotFound, { name });
    const TVrFile& item = Items(index);
    // Only a directory read without checks can hold these.
    if (item.Offset < 0 || item.Size < 0 || item.Offset + static_cast<int64_t>(item.Size) > Stream->GetSize())
        throw EVrArchiveError(msg::VrDamaged, { FileName, Format(msg::VrOffsetOutside, { index, item.Offset }) });
    Stream->SetPosition(item.Offset);
    try {
        if (Stream->CopyToStream(dest, item.Size) != item.Size)
            ThrowReadError();
        if (item.Stored == 0 && item.Size > 0)
            InflateEntry(dest, name, MaxEntrySize);
    } catch (...) {
        dest.Clear();
        throw;
    }
    dest.SetPosition(0);
}

void InflateEntry(TMemoryStream& dest, const AnsiString& what, int64_t maxSize)
{
    maxSize = std::clamp<int64_t>(maxSize, 0, MaxStreamSize);
    std::vector<uint8_t> input = std::move(dest.Bytes());
    dest.Clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw EVrArchiveError(msg::VrInflate, { what, z.msg ? z.msg : "inflateInit" });
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{ z };

    // A first guess at the content's size; it doubles while more comes.
    std::vector<uint8_t> out(static_cast<size_t>(std::min<int64_t>(maxSize, std::max<int64_t>(int64_t(input.size()) * 4, 1 << 14))));
    size_t produced = 0;
    const uint8_t* next = input.data();
    size_t left = input.size();
    for (;;) {
        if (produced == out.size()) {
            if (static_cast<int64_t>(out.size()) >= maxSize) {
                // Full at the limit: only acceptable when the stream ends here.
                uint8_t probe;
                z.next_in = const_cast<Bytef*>(next);
                z.avail_in = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
                z.next_out = &probe;
                z.avail_out = 1;
                int rc = inflate(&z, Z_NO_FLUSH);
                if (rc == Z_STREAM_END && z.avail_out == 1)
                    break;
                if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_MEM_ERROR)
                    throw EVrArchiveError(msg::VrInflate, { what, z.msg ? z.msg : zError(rc) });
                if (z.avail_out == 0)
                    throw EVrArchiveError(msg::VrEntryTooLarge, { what, maxSize });
                throw EVrArchiveError(msg::VrInflate, { what, Sjis(msg::VrInflateTruncated) });
            }
            out.resize(static_cast<size_t>(std::min<int64_t>(maxSize, static_cast<int64_t>(out.size()) * 2)));
        }
        z.next_in = const_cast<Bytef*>(next);
        z.avail_in = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
        z.next_out = out.data() + produced;
        z.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - produced, 1u << 30));
        uInt inBefore = z.avail_in, outBefore = z.avail_out;
        int rc = inflate(&z, Z_NO_FLUSH);
        next += inBefore - z.avail_in;
        left -= inBefore - z.avail_in;
        produced += outBefore - z.avail_out;
        if (rc == Z_STREAM_END)
            break;
        if (rc == Z_OK)
            continue;
        if (rc == Z_BUF_ERROR && z.avail_out == 0)
            continue; // room runs out: grow
        if (rc == Z_BUF_ERROR)
            throw EVrArchiveError(msg::VrInflate, { what, Sjis(msg::VrInflateTruncated) });
        throw EVrArchiveError(msg::VrInflate, { what, z.msg ? z.msg : zError(rc) });
    }
    out.resize(produced);
    dest.Assign(std::move(out));
}

AnsiString CheckZlibBytes(TTpBigStream& stream, int64_t offset, int32_t count)
{
    stream.SetPosition(offset);
    if (stream.GetPosition() != offset || count < 0)
        return Sjis(msg::StreamRead);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return "inflateInit";
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{ z };
    std::vector<uint8_t> in(static_cast<size_t>(std::min<int32_t>(count, 1 << 16))), out(1 << 16);
    int32_t left = count;
    for (;;) {
        if (z.avail_in == 0) {
            if (left == 0)
                return Sjis(msg::VrInflateTruncated);
            int32_t n = std::min<int32_t>(left, static_cast<int32_t>(in.size()));
            if (stream.Read(in.data(), n) != n)
                return Sjis(msg::StreamRead);
            left -= n;
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END)
            return "";
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            return z.msg ? z.msg : zError(rc);
    }
}

} // namespace tarn

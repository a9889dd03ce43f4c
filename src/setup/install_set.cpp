#include "setup/install_set.h"

#include "base/byte_reader.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace tarn {

namespace {

constexpr char8_t kDamaged[] = u8"ファイル %s は壊れています: %s";
constexpr char8_t kEndsInside[] = u8"%s の途中でファイルが終わっています";
constexpr char8_t kNegativeLength[] = u8"%s の長さ %d が負です";
constexpr char8_t kLengthPastEnd[] = u8"%s の長さ %d がファイルの残り %d バイトを超えています";
constexpr char8_t kNegativeCount[] = u8"ディスク数 %d が負です";
constexpr char8_t kCountPastEnd[] = u8"ディスク数 %d の記録 (%d バイト) がファイルの残り %d バイトを超えています";
constexpr char8_t kBadInstalled[] = u8"Installed の値 %d は 0 でも 1 でもありません";
constexpr char8_t kBadDiscCount[] = u8"ディスク数 %d は範囲外です";
constexpr char8_t kStringTooLong[] = u8"%s が長すぎます";


// Reads the fields one by one and checks every length against what is left of
// the stream before anything is sized by it.
class FieldReader {
public:
    FieldReader(TStream& stream, const AnsiString& fileName)
        : stream_(stream), fileName_(fileName), size_(stream.GetSize()), position_(stream.GetPosition())
    {
    }

    int32_t I32(const char* field)
    {
        uint8_t b[4];
        Bytes(b, 4, field);
        return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                    static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    }

    uint8_t U8(const char* field)
    {
        uint8_t b;
        Bytes(&b, 1, field);
        return b;
    }

    AnsiString Str(const char* field)
    {
        int32_t n = I32(field);
        if (n < 0)
            Fail(Format(kNegativeLength, { field, n }));
        if (n > Remaining())
            Fail(Format(kLengthPastEnd, { field, n, Remaining() }));
        AnsiString s(static_cast<size_t>(n), '\0');
        Bytes(s.data(), n, field);
        return s;
    }

    int32_t DiscCount()
    {
        int32_t n = I32("DiscCount");
        if (n < 0)
            Fail(Format(kNegativeCount, { n }));
        int64_t need = int64_t(16) * n;
        // MaxDiscCount leaves room for the fields that follow the records.
        if (need > Remaining() || n > TTarnInstallSet::MaxDiscCount)
            Fail(Format(kCountPastEnd, { n, need, Remaining() }));
        return n;
    }

    [[noreturn]] void Fail(const AnsiString& reason) { throw EInstallSetError(kDamaged, { fileName_, reason }); }

private:
    int64_t Remaining() const { return size_ - position_; }

    void Bytes(void* out, int32_t count, const char* field)
    {
        if (count > Remaining() || stream_.Read(out, count) != count)
            Fail(Format(kEndsInside, { field }));
        position_ += count;
    }

    TStream& stream_;
    const AnsiString& fileName_;
    int64_t size_;
    int64_t position_;
};

void PutString(ByteWriter& w, const AnsiString& s, const char* field)
{
    if (s.size() > static_cast<size_t>(MaxStreamSize))
        throw EWriteError(kStringTooLong, { field });
    w.I32(static_cast<int32_t>(s.size()));
    w.Bytes(s);
}

} // namespace

void TTarnInstallSet::SetDiscCount(int32_t n)
{
    if (n < 0 || n > MaxDiscCount)
        throw EListError(kBadDiscCount, { n });
    for (std::vector<int32_t>* list : { &programSizes_, &dataSizes_, &soundSizes_, &movieSizes_ })
        list->resize(static_cast<size_t>(n), 0);
    discCount_ = n;
}

void TTarnInstallSet::LoadFromFile(const AnsiString& fileName)
{
    TFileStream stream(fileName, fmOpenRead);
    LoadFromStream(stream, fileName);
}

void TTarnInstallSet::LoadFromStream(TStream& stream, const AnsiString& fileName)
{
    // Read into a fresh object and take it over only when every field is in.
    FieldReader r(stream, fileName);
    TTarnInstallSet d;
    d.DiscIndex = r.I32("DiscIndex");
    d.Title = r.Str("Title");
    d.FooterText = r.Str("FooterText");
    d.DefaultDir = r.Str("DefaultDir");
    d.ReadmeFile = r.Str("ReadmeFile");
    d.OpenReadme = r.U8("OpenReadme");
    d.TitleImage = r.Str("TitleImage");
    d.ImageLayout = r.U8("ImageLayout");
    d.SetDiscCount(r.DiscCount());
    d.GameExe = r.Str("GameExe");
    d.ImageSeed = r.I32("ImageSeed");
    d.SetupButtons = r.U8("SetupButtons");
    d.Reserved = r.U8("Reserved");
    d.MediaName = r.Str("MediaName");
    d.RegistryKey = r.Str("RegistryKey");
    for (size_t i = 0; i < static_cast<size_t>(d.discCount_); ++i) {
        d.programSizes_[i] = r.I32("ProgramSizes");
        d.dataSizes_[i] = r.I32("DataSizes");
        d.soundSizes_[i] = r.I32("SoundSizes");
        d.movieSizes_[i] = r.I32("MovieSizes");
    }
    d.ProgramTotal = r.I32("ProgramTotal");
    d.DataTotal = r.I32("DataTotal");
    d.SoundTotal = r.I32("SoundTotal");
    d.MovieTotal = r.I32("MovieTotal");
    d.Installed = r.U8("Installed");
    // Installed indexes two-word tables of captions: any other value would read past them.
    if (d.Installed > 1)
        r.Fail(Format(kBadInstalled, { int(d.Installed) }));
    *this = std::move(d);
}

std::string TTarnInstallSet::SaveToBytes() const
{
    ByteWriter w;
    w.I32(DiscIndex);
    PutString(w, Title, "Title");
    PutString(w, FooterText, "FooterText");
    PutString(w, DefaultDir, "DefaultDir");
    PutString(w, ReadmeFile, "ReadmeFile");
    w.U8(OpenReadme);
    PutString(w, TitleImage, "TitleImage");
    w.U8(ImageLayout);
    w.I32(discCount_);
    PutString(w, GameExe, "GameExe");
    w.I32(ImageSeed);
    w.U8(SetupButtons);
    w.U8(Reserved);
    PutString(w, MediaName, "MediaName");
    PutString(w, RegistryKey, "RegistryKey");
    for (size_t i = 0; i < static_cast<size_t>(discCount_); ++i) {
        w.I32(programSizes_[i]);
        w.I32(dataSizes_[i]);
        w.I32(soundSizes_[i]);
        w.I32(movieSizes_[i]);
    }
    w.I32(ProgramTotal);
    w.I32(DataTotal);
    w.I32(SoundTotal);
    w.I32(MovieTotal);
    w.U8(Installed);
    if (w.Size() > static_cast<size_t>(MaxStreamSize))
        throw EWriteError(kStringTooLong, { "install.dat" });
    return std::move(w.Data());
}

void TTarnInstallSet::SaveToFile(const AnsiString& fileName) const { WriteFileAtomically(fileName, SaveToBytes()); }

} // namespace tarn

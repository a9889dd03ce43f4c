#include "setup/install_rules.h"

#include "base/path.h"

namespace tarn {

int MediaKindOf(const AnsiString& ext)
{
    if (ext.empty())
        return 0;
    AnsiString lower = AnsiLowerCase(ext);
    if (AnsiString(".mp2.mp3.wma.wav.mid").find(lower) != AnsiString::npos)
        return 1;
    if (AnsiString(".avi.wmv.asf.mpg.mpeg").find(lower) != AnsiString::npos)
        return 2;
    return 0;
}

bool IsNumberedPieceExt(const AnsiString& ext)
{
    if (ext.size() < 2 || ext[0] != '.')
        return false;
    std::string_view digits = std::string_view(ext).substr(1, 3);
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    return true;
}

TDiscFileKind DiscFileKindOf(const AnsiString& entry, const AnsiString& sourceDir)
{
    AnsiString ext = ExtractFileExt(entry);
    if (IsNumberedPieceExt(ext))
        return TDiscFileKind::NotCopied;
    AnsiString lowerEntry = AnsiLowerCase(entry), lowerSource = AnsiLowerCase(sourceDir);
    if (lowerEntry.find(lowerSource + "directx\\") != AnsiString::npos ||
        lowerEntry.find(lowerSource + "winmedia\\") != AnsiString::npos)
        return TDiscFileKind::NotCopied;
    if (SameText(ext, ".dat"))
        return TDiscFileKind::NotCopied;
    switch (MediaKindOf(ext)) {
    case 1: return TDiscFileKind::Sound;
    case 2: return TDiscFileKind::Movie;
    default: return TDiscFileKind::Program;
    }
}

} // namespace tarn

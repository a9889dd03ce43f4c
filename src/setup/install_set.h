// The installation description (install.dat): everything that differs from
// one game to the next, and the game's record in the registry.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/error.h"
#include "base/stream.h"
#include "base/text.h"

namespace tarn {

// A description file that cannot be one: it ends inside a field, holds a
// negative length or count, a length or count larger than the rest of the
// file, or an Installed flag other than 0 and 1. The message names the file.
class EInstallSetError : public EReadError {
    using EReadError::EReadError;
};

class TTarnInstallSet {
public:
    // The largest DiscCount a description can have: its per-disc records must
    // fit into a file that an ordinary stream can read.
    static constexpr int32_t MaxDiscCount = static_cast<int32_t>((MaxStreamSize - 65) / 16);

    // Reads the fields in file order. A file that cannot be opened raises
    // EFOpenError; a damaged one EInstallSetError. A failed load leaves the
    // object exactly as it was.
    void LoadFromFile(const AnsiString& fileName);
    // The same from the stream's position; fileName is only used in messages.
    // The stream stays after Installed: what follows it is not read.
    void LoadFromStream(TStream& stream, const AnsiString& fileName);
    // Writes through a temporary file beside the target that is synced and
    // renamed over it, so a failure never leaves a half-written description.
    void SaveToFile(const AnsiString& fileName) const;
    // The file's bytes.
    std::string SaveToBytes() const;

    int32_t DiscCount() const { return discCount_; }
    // Resizes the four per-disc lists to n entries; existing entries keep their
    // values, new ones are 0. Raises EListError outside 0..MaxDiscCount.
    void SetDiscCount(int32_t n);

    // Bytes that disc i contributes to each component; DiscCount entries each.
    std::span<int32_t> ProgramSizes() { return programSizes_; }
    std::span<int32_t> DataSizes() { return dataSizes_; }
    std::span<int32_t> SoundSizes() { return soundSizes_; }
    std::span<int32_t> MovieSizes() { return movieSizes_; }
    std::span<const int32_t> ProgramSizes() const { return programSizes_; }
    std::span<const int32_t> DataSizes() const { return dataSizes_; }
    std::span<const int32_t> SoundSizes() const { return soundSizes_; }
    std::span<const int32_t> MovieSizes() const { return movieSizes_; }

    // Registry record below HKEY_CURRENT_USER\Software\<RegistryKey>. An empty
    // RegistryKey switches it off: reads give the default, the rest does nothing.
    // A path (Software\ included) of more than 32 levels or 1,024 bytes is
    // refused: writing raises the key's creation error, reading and deleting
    // find nothing.
    //
    // The value's text (REG_SZ or REG_EXPAND_SZ, unexpanded, cut at its first
    // zero byte), or def when the key or the value is missing. Another type
    // raises ERegistryException ("'%s' のデータ型が不正です").
    AnsiString ReadRegString(const AnsiString& name, const AnsiString& def) const;
    // Creates the key and its parents; stores text as REG_SZ.
    void WriteRegString(const AnsiString& name, const AnsiString& text) const;
    // Deletes the value "InstallPath", then the game's key if that left it with
    // neither values nor subkeys, then each parent so left, up to but never
    // including Software. Other records below or beside it stay.
    void DeleteRegistryKey() const;
    // True when "InstallPath" names a directory that holds GameExe.
    bool IsInstalled() const;

    // The fields in file order; strings are CP932 bytes kept exactly as read.
    int32_t DiscIndex = 0;
    AnsiString Title;
    AnsiString FooterText;
    AnsiString DefaultDir;
    AnsiString ReadmeFile;
    uint8_t OpenReadme = 0;
    AnsiString TitleImage;
    uint8_t ImageLayout = 0; // 0 centred, 1 stretched, 2 tiled, else not drawn
    // DiscCount (9th) is DiscCount() / SetDiscCount.
    AnsiString GameExe;
    int32_t ImageSeed = 0;
    uint8_t SetupButtons = 0;
    uint8_t Reserved = 0;
    AnsiString MediaName;
    AnsiString RegistryKey;
    // The per-disc lists (16th) are ProgramSizes() ... MovieSizes().
    int32_t ProgramTotal = 0;
    int32_t DataTotal = 0;
    int32_t SoundTotal = 0;
    int32_t MovieTotal = 0;
    uint8_t Installed = 0; // 0 on a disc, 1 in the installation directory

private:
    // "Software\" + RegistryKey without one leading and one trailing backslash,
    // or "" when the registry is not used.
    AnsiString RegistryPath() const;

    int32_t discCount_ = 0;
    std::vector<int32_t> programSizes_, dataSizes_, soundSizes_, movieSizes_;
};

} // namespace tarn

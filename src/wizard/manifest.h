// The record of one installation, kept outside it (the program's data
// folder, installations\): what the install put there, file by file with its
// size and SHA-256, the archive's entries, the program group's files and the
// registry value; whether the installation is complete; and whether an
// uninstall of it is under way (so that a rerun after a kill can finish it).
// The uninstall removes what the record lists and nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarn {

class TInstallManifest {
public:
    struct File {
        AnsiString Path; // relative to the destination
        int64_t Size = 0;
        std::string Sha256; // hexadecimal
        int Disc = 0;       // one-based; 0: written by the install itself
    };
    struct Entry {
        AnsiString Name;
        std::string Sha256; // of the entry's stored bytes
    };
    struct GroupFile {
        AnsiString Path; // program path
        std::string Sha256;
    };

    AnsiString Destination; // program path with a trailing backslash
    AnsiString Title, RegistryKey;
    StringList Components; // "program", "data", "sound", "movie"
    std::vector<int> Discs; // one-based
    std::vector<File> Files;
    // The archive's pieces (relative) and its entries.
    StringList ArchivePieces;
    std::vector<Entry> ArchiveEntries;
    // The folders the install made (relative; "" for the destination itself).
    StringList Folders;
    std::vector<GroupFile> Group;
    // The registry value "InstallPath" as written; empty: none.
    AnsiString RegistryValue;
    bool Complete = false;
    bool Uninstalling = false;

    // The record of the installation in destination (program path).
    static AnsiString FileFor(const AnsiString& destination);
    // None when there is no record, or it cannot be read. With unreadable,
    // a record that is there but could not be read (a device error, a
    // permission; not a damaged text) leaves the reason there.
    static std::optional<TInstallManifest> Load(const AnsiString& destination, AnsiString* unreadable = nullptr);
    // Written in full and put in place in one step.
    void Save() const;
    static bool Remove(const AnsiString& destination);

    // Whether path (relative, any letter case) is a file the record lists
    // (files, the archive's pieces).
    bool Lists(const AnsiString& relative) const;

    std::string ToJson() const;
    // Raises EConvertError (or the reader's error) for text that is no record.
    static TInstallManifest FromJson(std::string_view json);
};

} // namespace tarn

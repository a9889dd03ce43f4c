// The record of one installation, kept outside it (the program's data
// folder, installations\): what the install put there, file by file with its
// size and SHA-256, the archive's entries, the program group's files and the
// registry value; whether the installation is complete; and whether an
// uninstall of it is under way (so that a rerun after a kill can finish it).
// The uninstall removes what the record lists and nothing else.
//
// Beside the record lies its journal while the install runs: a line per
// file copied, archive entry written and folder made, appended as the run
// goes (the record itself is written again only after each disc). Loading
// a record folds its journal in, so that an install killed half way leaves
// a record of everything it wrote. Nothing in it is trusted: a rerun reads
// the files and entries again before it keeps them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarn::platform {
class File;
}

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
    // Where each disc (one-based) was read from: its folder or its image
    // (program paths), for a repair to look first.
    std::map<int, AnsiString> DiscPlaces;
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
    // The journal beside a record file.
    static AnsiString JournalOf(const AnsiString& recordFile);
    // None when there is no record, or it cannot be read. The journal's
    // lines are folded in (a later line for a path or entry replaces the
    // record's; a line cut short by a kill is ignored). With unreadable, a
    // record that is there but could not be read (a device error, a
    // permission; not a damaged text) leaves the reason there.
    static std::optional<TInstallManifest> Load(const AnsiString& destination, AnsiString* unreadable = nullptr);
    // The title of the record of destination, read without the thousands of
    // files and entries it lists or its journal; none as for Load.
    static std::optional<AnsiString> TitleOf(const AnsiString& destination);
    // Written in full and put in place in one step; a complete record has
    // no journal any more.
    void Save() const;
    // The record and its journal.
    static bool Remove(const AnsiString& destination);

    // Whether path (relative, any letter case) is a file the record lists
    // (files, the archive's pieces).
    bool Lists(const AnsiString& relative) const;

    std::string ToJson() const;
    // Raises EConvertError (or the reader's error) for text that is no record.
    static TInstallManifest FromJson(std::string_view json);
};

// Puts item into items under name (any letter case): added, or in place of
// the one index (folded name -> position in items) knows.
template <class Index, class T>
void PutByName(Index& index, std::vector<T>& items, const AnsiString& name, T item)
{
    auto [at, added] = index.try_emplace(AnsiLowerCase(name), items.size());
    if (added)
        items.push_back(std::move(item));
    else
        items[at->second] = std::move(item);
}

// The journal of the record of destination, appended to line by line.
// Cheap on purpose: no line is flushed to the disk, since a rerun checks
// again whatever a line says.
class TInstallJournal {
public:
    // Starts the journal afresh with what `carried` holds (the expectations a
    // rerun takes over from a killed run, so that a second kill loses none),
    // or opens it to append.
    explicit TInstallJournal(const AnsiString& destination, const TInstallManifest* carried = nullptr);
    ~TInstallJournal();
    TInstallJournal(const TInstallJournal&) = delete;
    TInstallJournal& operator=(const TInstallJournal&) = delete;

    void Add(const TInstallManifest::File& file);
    void Add(const TInstallManifest::Entry& entry);
    void AddFolder(const AnsiString& relative);
    // False once a line could not be written (the journal then stops; the
    // record after each disc still holds what was done).
    bool Good() const { return file_ != nullptr; }

private:
    void Line(const std::string& text);
    std::unique_ptr<platform::File> file_;
    // While the carried lines are taken over: written out in one piece.
    std::string* gathering_ = nullptr;
};

} // namespace tarn

#include "wizard/install_rollback.h"

#include <functional>

#include "archive/big_stream.h"
#include "archive/vr_format.h"
#include "base/codepage.h"
#include "base/error.h"
#include "base/path.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "wizard/manifest.h"
#include "wizard/shortcuts.h"

namespace tarn {

namespace {

bool IsEmptyDirectory(const AnsiString& dir)
{
    platform::DirectoryReader reader(dir, false);
    platform::DirEntry e;
    while (reader.Next(e))
        if (e.Name != "." && e.Name != "..")
            return false;
    return true;
}

} // namespace

InstallRollback::InstallRollback(const AnsiString& destination, const TTarnInstallSet& set) : destination_(AddBackslash(destination))
{
    destinationWasNew_ = !platform::DirectoryExists(destination_) || IsEmptyDirectory(destination_);
    AnsiString description = destination_ + "install.dat";
    if (platform::FileExists(description)) {
        std::vector<uint8_t> bytes = ReadWholeFile(description);
        descriptionBefore_ = std::string(bytes.begin(), bytes.end());
    }
    registryBefore_ = set.ReadRegString("InstallPath", "");
}

StringList InstallRollback::MakingDirectory(const AnsiString& dir)
{
    StringList missing;
    for (AnsiString d = ExcludeTrailingBackslash(dir); d.size() > 3 && !platform::DirectoryExists(d);) {
        missing.insert(missing.begin(), d);
        AnsiString parent = ExcludeTrailingBackslash(ExtractFilePath(d));
        if (parent.size() >= d.size())
            break;
        d = parent;
    }
    directories_.insert(directories_.end(), missing.begin(), missing.end());
    return missing;
}

void InstallRollback::Writing(const AnsiString& file)
{
    if (!platform::FileExists(file))
        files_.push_back(file);
}

void InstallRollback::BuildingArchive(const AnsiString& archive)
{
    if (!platform::FileExists(archive))
        archive_ = archive;
}

void InstallRollback::WritingDescription() { descriptionWritten_ = true; }

void InstallRollback::WritingManifest(const AnsiString& recordFile)
{
    if (!manifestFile_.empty())
        return; // what was there before the first write counts
    manifestFile_ = recordFile;
    if (platform::FileExists(recordFile)) {
        std::vector<uint8_t> bytes = ReadWholeFile(recordFile);
        manifestBefore_ = std::string(bytes.begin(), bytes.end());
    }
}

void InstallRollback::MakingGroup() { groupMade_ = true; }

void InstallRollback::WritingRegistry() { registryWritten_ = true; }

void InstallRollback::RollBack(const TTarnInstallSet& set, RunObserver& observer)
{
    // Each step on its own: one that fails must not keep the others from
    // putting back what they can.
    auto attempt = [&](const std::function<void()>& step) {
        try {
            step();
        } catch (const Exception& e) {
            observer.RolledBack("could not put back: " + Cp932ToUtf8Lossy(e.Message()), AnsiString());
        }
    };
    if (registryWritten_)
        attempt([&] {
            if (set.ReadRegString("InstallPath", "") == registryBefore_)
                return;
            if (registryBefore_.empty())
                set.DeleteRegistryKey();
            else
                set.WriteRegString("InstallPath", registryBefore_);
            observer.RolledBack("registry value put back", AnsiString());
        });
    // A group of an earlier installation stays with it.
    if (groupMade_ && registryBefore_.empty())
        attempt([&] { DeleteShortcutGroup(set, observer); });
    AnsiString description = destination_ + "install.dat";
    if (descriptionWritten_)
        attempt([&] {
            if (descriptionBefore_) {
                WriteFileAtomically(description, *descriptionBefore_);
                observer.RolledBack("put back", description);
            } else if (platform::FileExists(description) && platform::RemoveFile(description)) {
                observer.RolledBack("removed", description);
            }
        });
    if (!manifestFile_.empty())
        attempt([&] {
            if (manifestBefore_)
                WriteFileAtomically(manifestFile_, *manifestBefore_);
            else if (platform::FileExists(manifestFile_))
                platform::RemoveFile(manifestFile_);
            // A new record's journal goes with it; an earlier record keeps its own.
            if (!manifestBefore_ && platform::FileExists(TInstallManifest::JournalOf(manifestFile_)))
                platform::RemoveFile(TInstallManifest::JournalOf(manifestFile_));
        });
    if (destinationWasNew_)
        attempt([&] { RemoveCopies(observer); });
}

void InstallRollback::RemoveCopies(RunObserver& observer)
{
    int removed = 0;
    if (!archive_.empty())
        for (int i = 0; platform::FileExists(TTpBigFileStream::PieceNameOf(archive_, i)); ++i)
            removed += platform::RemoveFile(TTpBigFileStream::PieceNameOf(archive_, i)) ? 1 : 0;
    for (auto f = files_.rbegin(); f != files_.rend(); ++f)
        removed += platform::FileExists(*f) && platform::RemoveFile(*f) ? 1 : 0;
    int folders = 0;
    // Deepest first; a folder that holds something not the run's stays.
    for (auto d = directories_.rbegin(); d != directories_.rend(); ++d)
        folders += platform::RemoveDir(*d) ? 1 : 0;
    if (removed + folders > 0)
        observer.RolledBack("removed " + std::to_string(removed) + " files and " + std::to_string(folders) + " folders made in",
                            destination_);
}

} // namespace tarn

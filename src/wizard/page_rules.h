// The wizard's rules that need no controls: which page a page switch shows,
// where Next and Back lead, the buttons of each page, the needed size and
// the texts of the size labels.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "setup/install_set.h"

namespace tarn {

// The pages, in index order.
enum WizardPage : int {
    pgInst = 0, pgMedia = 1, pgFile = 2, pgSelDir = 3, pgConfirm = 4, pgCopy = 5, pgExit = 6, pgUninst = 7, pgDelete = 8,
    pgExitDel = 9, kWizardPageCount = 10
};

// The choice of discs is offered only on the first disc of a set of several.
bool OffersDiscChoice(const TTarnInstallSet& set);
// The page a switch to index shows: the disc choice becomes the component page where it is not offered.
int PageShown(int index, const TTarnInstallSet& set);
// Where Next leads from page current (-1: it closes the wizard with OK).
int NextPageFrom(int current, bool uninstallChosen);
int BackPageFrom(int current, bool uninstallChosen, bool allDiscsChosen);

struct PageButtons {
    bool BackEnabled = false;
    bool NextEnabled = false;
    AnsiString NextCaption;
    bool AbortCloses = false; // btnAbort reads "閉じる(&C)"
};
PageButtons ButtonsFor(int index);
// The window caption a page sets (pgExitDel sets none: empty).
AnsiString PageCaption(int index, const TTarnInstallSet& set);

// Bytes the chosen components need, summed in 64 bits: four components can
// pass 2 GiB, where a 32-bit sum would wrap into a negative size.
int64_t ComputeNeededSize(const TTarnInstallSet& set, bool allDiscs, bool data, bool sound, bool movie);
// The size of each component for the chosen discs (program, data, sound, movie).
int32_t ComponentSize(const TTarnInstallSet& set, bool allDiscs, int component);
// "最低 %2f MBの..." for the component page, "インストールには最低 %2f MBの..." for the destination page.
AnsiString NeededSizeText(int64_t neededSize);
AnsiString NeededSizeOnDriveText(int64_t neededSize);
// "このドライブには 1,234,567 MBの空きがあります".
AnsiString DriveSpaceText(int32_t freeMB);
// LabelSzDrv for a place of the drive list: DriveSpaceText for a drive shown
// by its letter (Windows), else the place's host path and its free space.
AnsiString PlaceSpaceText(const AnsiString& place, int32_t freeMB);
// Free megabytes of a drive for the caller; 0 when they cannot be queried.
int32_t GetDriveFreeMB(char letter);
// The same for the file system that holds a directory (a place of the list).
int32_t GetDriveFreeMB(const AnsiString& place);

// The questions and notices of the runs, the same in every host.
// "ディスク%dを入れてからOKをクリックしてください" (index from 0).
AnsiString DiscPromptText(int index);
// "インストールを中断しますか？" or "アンインストールを中断しますか？".
AnsiString AbortQuestion(bool uninstall);
// "%s をコピーできませんでした。インストールを続けますか？" with the file's
// name, and on a line of its own the target and the system's reason.
AnsiString CopyFailureQuestion(const AnsiString& file, const AnsiString& target = {}, const AnsiString& reason = {});
// The files of a disc that were not copied: links out of the disc, pipes,
// devices (relative paths; the first few, and how many more).
AnsiString SkippedOnDiscText(const StringList& relative);
// What an uninstall left in place, for the last page: the first few names
// and how many more.
AnsiString KeptText(const StringList& relative);

} // namespace tarn

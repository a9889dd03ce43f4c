#include "wizard/page_rules.h"

#include <limits>

#include "base/codepage.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn {

bool OffersDiscChoice(const TTarnInstallSet& set) { return set.DiscCount() > 1 && set.DiscIndex == 0; }

int PageShown(int index, const TTarnInstallSet& set) { return index == pgMedia && !OffersDiscChoice(set) ? pgFile : index; }

int NextPageFrom(int current, bool uninstallChosen)
{
    if (current == pgInst && uninstallChosen)
        return pgUninst;
    if (current == pgCopy)
        return -1;
    return current + 1;
}

int BackPageFrom(int current, bool uninstallChosen, bool allDiscsChosen)
{
    if (current == pgUninst && uninstallChosen)
        return pgInst;
    if (current == pgFile && !allDiscsChosen)
        return pgInst;
    return current - 1;
}

PageButtons ButtonsFor(int index)
{
    PageButtons b;
    b.BackEnabled = index > 0;
    b.NextEnabled = index < kWizardPageCount - 1;
    b.NextCaption = Sjis(index == pgConfirm ? u8"インストール" : index == pgUninst ? u8"実行" : u8"次へ(&N) >");
    b.AbortCloses = index == pgExit;
    return b;
}

AnsiString PageCaption(int index, const TTarnInstallSet& set)
{
    switch (index) {
    case pgInst: return Sjis(u8"処理を選択");
    case pgMedia: return Format(u8"インストールする%s", { set.MediaName });
    case pgFile: return Sjis(u8"インストールするファイル");
    case pgSelDir: return Sjis(u8"インストール先の選択");
    case pgConfirm: return Sjis(u8"インストール準備完了");
    case pgCopy: return Sjis(u8"ファイルコピー");
    case pgExit: return Sjis(u8"完了");
    case pgUninst: return Sjis(u8"アンインストール");
    case pgDelete: return Sjis(u8"削除");
    default: return AnsiString();
    }
}

int32_t ComponentSize(const TTarnInstallSet& set, bool allDiscs, int component)
{
    if (allDiscs) {
        const int32_t totals[] = { set.ProgramTotal, set.DataTotal, set.SoundTotal, set.MovieTotal };
        return totals[component];
    }
    std::span<const int32_t> lists[] = { set.ProgramSizes(), set.DataSizes(), set.SoundSizes(), set.MovieSizes() };
    std::span<const int32_t> list = lists[component];
    // Start-up refuses a DiscIndex outside the lists; an empty list counts as nothing.
    if (set.DiscIndex < 0 || static_cast<size_t>(set.DiscIndex) >= list.size())
        return 0;
    return list[static_cast<size_t>(set.DiscIndex)];
}

int64_t ComputeNeededSize(const TTarnInstallSet& set, bool allDiscs, bool data, bool sound, bool movie)
{
    int64_t size = ComponentSize(set, allDiscs, 0);
    if (data)
        size += ComponentSize(set, allDiscs, 1);
    if (sound)
        size += ComponentSize(set, allDiscs, 2);
    if (movie)
        size += ComponentSize(set, allDiscs, 3);
    return size;
}

AnsiString NeededSizeText(int64_t neededSize)
{
    return Format(u8"最低 %2f MBのディスクの空き容量が必要です", { static_cast<double>(neededSize) / 1048576.0 });
}

AnsiString NeededSizeOnDriveText(int64_t neededSize)
{
    return Format(u8"インストールには最低 %2f MBのディスクの空き容量が必要です", { static_cast<double>(neededSize) / 1048576.0 });
}

AnsiString DriveSpaceText(int32_t freeMB) { return Sjis(u8"このドライブには ") + FormatThousands(freeMB) + Sjis(u8" MBの空きがあります"); }

AnsiString PlaceSpaceText(const AnsiString& place, int32_t freeMB)
{
    AnsiString shown = platform::ShownPath(place);
    if (shown == place && place.size() <= 3)
        return DriveSpaceText(freeMB); // a drive, named as the system names it
    return shown + Sjis(u8" には ") + FormatThousands(freeMB) + Sjis(u8" MBの空きがあります");
}

int32_t GetDriveFreeMB(char letter) { return GetDriveFreeMB(std::string(1, letter) + ":\\"); }

int32_t GetDriveFreeMB(const AnsiString& place)
{
    int64_t bytes = platform::DiskFreeBytes(place);
    if (bytes < 0)
        return 0;
    int64_t mb = bytes / 1048576;
    return mb > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(mb);
}

AnsiString DiscPromptText(int index) { return Format(u8"ディスク%dを入れてからOKをクリックしてください", { index + 1 }); }

AnsiString AbortQuestion(bool uninstall) { return Sjis(uninstall ? u8"アンインストールを中断しますか？" : u8"インストールを中断しますか？"); }

AnsiString CopyFailureQuestion(const AnsiString& file, const AnsiString& target, const AnsiString& reason)
{
    AnsiString question = Format(u8"%s をコピーできませんでした。インストールを続けますか？", { ExtractFileName(file) });
    if (!target.empty())
        question += "\n" + platform::ShownPath(target) + (reason.empty() ? AnsiString() : ": " + reason);
    return question;
}

namespace {

// A heading and the first few names, then how many more.
AnsiString ListedText(const char8_t* heading, const StringList& names)
{
    AnsiString text = Sjis(heading);
    const size_t shown = 4;
    for (size_t i = 0; i < names.size() && i < shown; ++i)
        text += Sjis(u8"\n  ") + names[i];
    if (names.size() > shown)
        text += Format(u8"\n  ほか %d 個", { static_cast<int>(names.size() - shown) });
    return text;
}

} // namespace

AnsiString SkippedOnDiscText(const StringList& relative)
{
    return ListedText(u8"ディスクの外を指すもの、普通のファイルでないものはコピーしませんでした:", relative);
}

AnsiString KeptText(const StringList& relative) { return ListedText(u8"インストールしたものではないため残したもの:", relative); }

} // namespace tarn

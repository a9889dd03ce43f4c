#include "wizard/form_type.h"

#include "base/codepage.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "wizard/destination.h"
#include "wizard/install_run.h"
#include "wizard/repair_run.h"
#include "wizard/uninstall_run.h"
#include "wizard/wizard_host.h"

namespace tarn {

using namespace ui;

namespace {

void Place(Control& c, int left, int top, int width, int height, const char8_t* caption = nullptr)
{
    c.SetBounds(left, top, width, height);
    if (caption)
        c.SetCaption(Sjis(caption));
}

} // namespace

TFormType::TFormType(TProgramState& state, const RunOptions& options, Form* owner, RunObserver* observer)
    : Form("FormType"),
      Notebook(Add<PageControl>("Notebook")),
      Inst(Notebook.AddPage("Inst")),
      Media(Notebook.AddPage("Media")),
      file(Notebook.AddPage("file")),
      seldir(Notebook.AddPage("seldir")),
      confirm(Notebook.AddPage("confirm")),
      copy(Notebook.AddPage("copy")),
      exit(Notebook.AddPage("exit")),
      uninst(Notebook.AddPage("uninst")),
      del(Notebook.AddPage("delete")),
      exitdel(Notebook.AddPage("exitdel")),
      Label1(Add<ui::Label>("Label1", &Inst)),
      RadioInst(Add<RadioButton>("RadioInst", &Inst)),
      RadioUninst(Add<RadioButton>("RadioUninst", &Inst)),
      LabelDisk(Add<ui::Label>("LabelDisk", &Media)),
      RadioDiskAll(Add<RadioButton>("RadioDiskAll", &Media)),
      RadioDiskThis(Add<RadioButton>("RadioDiskThis", &Media)),
      Label2(Add<ui::Label>("Label2", &file)),
      CheckProg(Add<CheckBox>("CheckProg", &file)),
      CheckData(Add<CheckBox>("CheckData", &file)),
      CheckSound(Add<CheckBox>("CheckSound", &file)),
      CheckMovie(Add<CheckBox>("CheckMovie", &file)),
      LabelSize(Add<ui::Label>("LabelSize", &file)),
      Label3(Add<ui::Label>("Label3", &seldir)),
      EditDir(Add<Edit>("EditDir", &seldir)),
      Directory(Add<DirectoryList>("Directory", &seldir)),
      Drive(Add<DriveCombo>("Drive", &seldir)),
      LabelSzDrv(Add<ui::Label>("LabelSzDrv", &seldir)),
      LabelSzNeed(Add<ui::Label>("LabelSzNeed", &seldir)),
      Label4(Add<ui::Label>("Label4", &confirm)),
      Label5(Add<ui::Label>("Label5", &confirm)),
      LabelCopyCap(Add<ui::Label>("LabelCopyCap", &copy)),
      LabelCopy(Add<ui::Label>("LabelCopy", &copy)),
      Progress(Add<ProgressBar>("Progress", &copy)),
      LabelExit(Add<ui::Label>("LabelExit", &exit)),
      LabelKept(Add<ui::Label>("LabelKept", &exit)),
      LabelUninst(Add<ui::Label>("LabelUninst", &uninst)),
      Label6(Add<ui::Label>("Label6", &uninst)),
      CheckDelSave(Add<CheckBox>("CheckDelSave", &uninst)),
      btnRepair(Add<Button>("btnRepair", &uninst)),
      LabelDelTitle(Add<ui::Label>("LabelDelTitle", &del)),
      LabelDel(Add<ui::Label>("LabelDel", &del)),
      Bevel1(Add<Bevel>("Bevel1")),
      btnBack(Add<Button>("btnBack")),
      btnNext(Add<Button>("btnNext")),
      btnAbort(Add<Button>("btnAbort")),
      state_(state),
      options_(options),
      observer_(observer)
{
    SetOwner(owner);
    SetFont({ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack });
    SetClientSize(383, 269);
    SetCaption(Sjis(u8"インストールタイプの選択"));
    Notebook.SetBounds(0, 0, 383, 229);
    Bevel1.SetBounds(0, 229, 383, 2);
    Place(btnBack, 132, 236, 75, 25, u8"< 戻る(&B)");
    Place(btnNext, 212, 236, 75, 25, u8"次へ(&N) >");
    btnNext.SetDefault(true);
    Place(btnAbort, 304, 236, 75, 25, u8"中断(&A)");

    // Labels size themselves to their text; the height is the font's.
    Place(Label1, 16, 12, 0, 12, u8"処理を選択してください");
    Place(RadioInst, 24, 36, 237, 17, u8"インストール");
    Place(RadioUninst, 24, 64, 237, 17, u8"アンインストール");
    Place(LabelDisk, 16, 12, 0, 12);
    Place(RadioDiskAll, 24, 36, 237, 17);
    Place(RadioDiskThis, 24, 64, 237, 17);
    Place(Label2, 16, 12, 0, 12, u8"インストールするファイルを選択してください");
    Place(CheckProg, 24, 36, 169, 17, u8"プログラム");
    CheckProg.SetChecked(true);
    CheckProg.SetEnabled(false);
    Place(CheckData, 24, 64, 141, 17, u8"シナリオ・グラフィック");
    Place(CheckSound, 24, 92, 141, 17, u8"サウンド");
    Place(CheckMovie, 24, 120, 141, 17, u8"ムービー");
    Place(LabelSize, 24, 204, 0, 12);
    Place(Label3, 16, 12, 0, 12, u8"インストール先を選択してください");
    Place(EditDir, 16, 28, 237, 20);
    Place(Directory, 16, 52, 237, 113);
    Directory.ItemHeight = 16;
    Place(Drive, 16, 168, 237, 20);
    Drive.SetDirList(&Directory);
    Place(LabelSzDrv, 16, 188, 0, 12);
    Place(LabelSzNeed, 16, 208, 0, 12);
    Place(Label4, 16, 12, 0, 12, u8"ファイルをコピーする準備が整いました");
    Place(Label5, 16, 32, 340, 24,
          u8"インストール をクリックするとコピーを開始します。設定を確認・変更\nしたい場合は 戻る をクリックしてください");
    Label5.SetAutoSize(false);
    Place(LabelCopyCap, 16, 12, 0, 12, u8"ファイルをコピーしています");
    Place(LabelCopy, 16, 172, 0, 12);
    Place(Progress, 16, 192, 349, 16);
    Place(LabelExit, 16, 12, 0, 12, u8"インストールが完了しました");
    Place(LabelKept, 16, 40, 0, 12);
    Place(LabelUninst, 16, 12, 0, 12);
    Place(Label6, 16, 32, 0, 12, u8"実行 をクリックすると削除処理を開始します");
    Place(CheckDelSave, 20, 60, 201, 17, u8"セーブデータも削除");
    Place(btnRepair, 16, 164, 75, 25, u8"修復(&R)");
    Place(LabelDelTitle, 16, 12, 0, 12);
    Place(LabelDel, 16, 200, 0, 12);

    FileOperation.Options = kWizardFileOpOptions;

    btnNext.OnClick = [this](Control& c) { btnNextClick(c); };
    btnBack.OnClick = [this](Control& c) { btnBackClick(c); };
    btnAbort.OnClick = [this](Control& c) { btnAbortClick(c); };
    btnRepair.OnClick = [this](Control& c) { btnRepairClick(c); };
    CheckProg.OnClick = [this](Control& c) { CheckProgClick(c); };
    CheckData.OnClick = [this](Control& c) { CheckDataClick(c); };
    CheckSound.OnClick = [this](Control& c) { CheckDataClick(c); };
    CheckMovie.OnClick = [this](Control& c) { CheckDataClick(c); };
    Directory.OnChange = [this](Control& c) { DirectoryChange(c); };
    Drive.OnChange = [this](Control& c) { DriveChange(c); };
    OnCloseQuery = [this] { return FormCloseQuery(); };
    FormCreate();
}

TFormType::~TFormType() = default;

void TFormType::FormCreate()
{
    RunCreate([&] {
        const TTarnInstallSet& set = state_.InstallSet;
        RadioInst.SetChecked(true);
        LabelDisk.SetCaption(Format(u8"インストールする%sを指定してください", { set.MediaName }));
        RadioDiskAll.SetCaption(Format(u8"全ての%sをインストール", { set.MediaName }));
        RadioDiskThis.SetCaption(Format(u8"この%sをインストール", { set.MediaName }));
        if (OffersDiscChoice(set))
            RadioDiskAll.SetChecked(true);
        LabelUninst.SetCaption(Format(u8"%s をコンピュータから削除します", { set.Title }));
        openedInstalled_ = set.Installed != 0;
        btnBack.SetVisible(set.Installed == 0);
        if (set.Installed != 0)
            uninstallDir_ = AddBackslash(state_.SourceDir);

        ProposedDestination proposed = ProposeDestination(set.ReadRegString("InstallPath", ""), set.DefaultDir);
        DirSuffix = proposed.DirSuffix;
        EditDir.SetText(platform::ShownPath(proposed.Path));
        if (!proposed.Path.empty())
            Drive.SetDrive(proposed.Path[0]);
        AnsiString nearest = NearestExistingAncestor(proposed.Path);
        if (!nearest.empty())
            Directory.SetDirectory(nearest);
        // The list shows the nearest existing folder, but the proposal is what
        // the person should see: following the browsing rule here would show
        // a suffix whose first folder exists twice, or drop missing levels
        // that are not part of the suffix.
        EditDir.SetText(platform::ShownPath(proposed.Path));
        ShowPage(set.Installed != 0 ? pgUninst : pgMedia);
        // Asked to repair: the run starts once the wizard is up.
        if (options_.Repair && set.Installed != 0) {
            repairAtOnce_ = true;
            TickMs = 50;
            TickAtOnce = true;
            OnTick = [this] {
                if (repairAtOnce_ && !running_) {
                    repairAtOnce_ = false;
                    btnRepairClick(btnRepair);
                }
            };
        }
    });
}

void TFormType::ShowPage(int index)
{
    const TTarnInstallSet& set = state_.InstallSet;
    int shown = PageShown(index, set);
    Notebook.SetActivePageIndex(shown);
    if (shown != pgExitDel)
        SetCaption(PageCaption(shown, set));
    switch (shown) {
    case pgFile: {
        CheckControl* boxes[] = { &CheckProg, &CheckData, &CheckSound, &CheckMovie };
        for (int i = 0; i < 4; ++i) {
            bool held = ComponentSize(set, RadioDiskAll.Checked(), i) > 0;
            boxes[i]->SetVisible(held);
            // The first time the page shows, everything the discs hold is
            // chosen: a game whose data stays on a disc no longer starts on
            // machines without a drive. Later the person's choice stays.
            if (!componentsShown_ && i > 0)
                boxes[i]->SetChecked(held);
        }
        componentsShown_ = true;
        UpdateNeededSize();
        break;
    }
    case pgSelDir:
        UpdateDriveSpace();
        break;
    case pgCopy:
        // Each shows what follows from its outcome itself.
        if (repairing_)
            RunRepairPage();
        else
            RunInstallPage();
        return;
    case pgUninst:
        CheckDelSave.SetVisible(!SaveDataIn(uninstallDir_).empty());
        break;
    case pgDelete:
        RunUninstallPage();
        return;
    default:
        break;
    }
    UpdateButtons(PageIndex());
}

void TFormType::UpdateButtons(int index)
{
    PageButtons b = ButtonsFor(index);
    btnBack.SetEnabled(b.BackEnabled);
    btnNext.SetEnabled(b.NextEnabled);
    btnNext.SetCaption(b.NextCaption);
    if (b.AbortCloses)
        btnAbort.SetCaption(Sjis(u8"閉じる(&C)"));
}

namespace {

// Sets a flag (a run in progress, a question up) for as long as a scope
// lasts, also when it raises.
struct ScopedFlag {
    explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = false; }
    bool& flag_;
};

} // namespace

void TFormType::RunInstallPage()
{
    RunOptions options = options_;
    options.AllDiscs = RadioDiskAll.Checked();
    options.Data = CheckData.Checked();
    options.Sound = CheckSound.Checked();
    options.Movie = CheckMovie.Checked();
    options.Destination = EditDir.Text();
    options.AcceptNonEmpty = SameText(acceptedFolder_, AddBackslash(platform::ResolvedPath(DestinationFromText(options.Destination))));
    TWizardHost host(*this, false, options.Pauses, observer_);
    RunOutcome outcome;
    {
        ScopedFlag running(running_);
        outcome = RunInstall(state_, options, host);
    }
    switch (outcome) {
    case RunOutcome::Completed: {
        // The installation is complete; what its game will lack here follows.
        AnsiString text = Sjis(u8"インストールが完了しました");
        for (const AnsiString& line : host.WantingLines)
            text += "\n" + line;
        LabelExit.SetCaption(text);
        ShowPage(pgExit);
        break;
    }
    case RunOutcome::Aborted:
        SetModalResult(mrAbort);
        break;
    case RunOutcome::Failed: // the destination could not be made: reported
        SetModalResult(mrOk);
        break;
    }
}

void TFormType::RunUninstallPage()
{
    RunOptions options = options_;
    options.Installation = uninstallDir_;
    options.DeleteSave = !CheckDelSave.Visible() || CheckDelSave.Checked();
    TWizardHost host(*this, true, options.Pauses, observer_);
    RunOutcome outcome;
    {
        ScopedFlag running(running_);
        outcome = RunUninstall(state_.InstallSet, options, FileOperation, host);
    }
    switch (outcome) {
    case RunOutcome::Completed:
        LabelExit.SetCaption(Sjis(u8"アンインストールが完了しました"));
        ShowPage(pgExit);
        break;
    case RunOutcome::Aborted:
        SetModalResult(mrAbort);
        break;
    case RunOutcome::Failed: // not an installation that may go: reported
        ShowPage(pgUninst);
        break;
    }
}

void TFormType::btnRepairClick(Control&)
{
    if (running_ || PageIndex() != pgUninst)
        return;
    repairing_ = true;
    ShowPage(pgCopy);
}

void TFormType::RunRepairPage()
{
    RunOptions options = options_;
    options.Installation = uninstallDir_;
    TWizardHost host(*this, false, options.Pauses, observer_);
    RepairResult result;
    RunOutcome outcome;
    {
        ScopedFlag running(running_);
        outcome = RunRepair(options.RepairStart.empty() ? uninstallDir_ : options.RepairStart, state_.ModulePath, options, host, result);
    }
    repairing_ = false;
    switch (outcome) {
    case RunOutcome::Completed:
        LabelExit.SetCaption(result.Before.Wrong() == 0
                                 ? Sjis(u8"インストールに問題はありませんでした")
                                 : Format(u8"修復が完了しました\n%d 個のファイルと %d 個のデータを修復しました",
                                          { result.FilesCopied, result.EntriesMerged }));
        ShowPage(pgExit);
        break;
    case RunOutcome::Aborted:
        SetModalResult(mrAbort);
        break;
    case RunOutcome::Failed: // reported
        ShowPage(pgUninst);
        break;
    }
}

void TFormType::UpdateNeededSize()
{
    NeededSize = ComputeNeededSize(state_.InstallSet, RadioDiskAll.Checked(), CheckData.Checked(), CheckSound.Checked(),
                                   CheckMovie.Checked());
    LabelSize.SetCaption(NeededSizeText(NeededSize));
    LabelSzNeed.SetCaption(NeededSizeOnDriveText(NeededSize));
}

void TFormType::UpdateDriveSpace()
{
    AnsiString place = Drive.PlaceIndex() >= 0 ? Drive.Place() : AnsiString(1, Drive.Drive()) + ":\\";
    int32_t free = GetDriveFreeMB(place);
    if (free >= 0)
        LabelSzDrv.SetCaption(PlaceSpaceText(place, free));
}

bool TFormType::FormCloseQuery()
{
    // Chosen by the description the wizard opened with: a completed install
    // marks the shared description installed, and its close box still ends
    // an install, not an uninstall.
    AnsiString what = Sjis(!openedInstalled_ ? u8"インストール" : u8"アンインストール");
    return MessageDlg(what + Sjis(u8"を中断しますか？"), MsgType::Confirmation, mbYes | mbNo) == mrYes;
}

void TFormType::btnNextClick(Control&)
{
    // A run processes messages: a click then must not switch pages under it.
    if (running_)
        return;
    int index = PageIndex();
    if (index == pgInst && RadioUninst.Checked()) {
        const TTarnInstallSet& set = state_.InstallSet;
        if (set.Installed == 0) {
            // Started from a disc: what goes is the installation the registry
            // names, never the directory the program was started from.
            std::optional<AnsiString> recorded = RecordedInstallation(set);
            if (!recorded) {
                MessageDlg(Format(u8"%s はインストールされていません", { set.Title }), MsgType::Information, mbOK);
                ShowPage(pgInst);
                return;
            }
            uninstallDir_ = *recorded;
        }
        ShowPage(pgUninst);
        return;
    }
    if (index == pgSelDir && !DestinationAccepted())
        return;
    int next = NextPageFrom(index, RadioUninst.Checked());
    if (next < 0)
        SetModalResult(mrOk);
    else
        ShowPage(next);
}

bool TFormType::DestinationAccepted()
{
    AnsiString dest = AddBackslash(platform::ResolvedPath(DestinationFromText(EditDir.Text())));
    switch (CheckDestination(dest, state_.InstallSet.Title)) {
    case DestinationCheck::Protected:
        MessageDlg(ProtectedDestinationText(dest), MsgType::Error, mbOK);
        return false;
    case DestinationCheck::NotEmpty:
        if (MessageDlg(NotEmptyDestinationQuestion(dest), MsgType::Confirmation, mbYes | mbNo) != mrYes)
            return false;
        acceptedFolder_ = dest;
        return true;
    case DestinationCheck::Fine:
        return true;
    }
    return true;
}

void TFormType::btnBackClick(Control&)
{
    if (running_)
        return;
    int back = BackPageFrom(PageIndex(), RadioUninst.Checked(), RadioDiskAll.Checked());
    if (back >= 0)
        ShowPage(back);
}

void TFormType::btnAbortClick(Control&)
{
    switch (PageIndex()) {
    case pgExit:
        SetModalResult(mrOk);
        break;
    case pgCopy:
    case pgDelete:
        AskToAbortRun();
        break;
    default:
        SetModalResult(mrCancel);
        break;
    }
}

void TFormType::AskToAbortRun()
{
    // A second close or click while the question is up asks nothing more.
    if (asking_)
        return;
    ScopedFlag asking(asking_);
    if (MessageDlg(AbortQuestion(PageIndex() == pgDelete), MsgType::Confirmation, mbYes | mbNo) == mrYes)
        SetModalResult(mrAbort);
}

void TFormType::CloseRequested()
{
    if (running_)
        AskToAbortRun();
    else
        Form::CloseRequested();
}

void TFormType::CheckProgClick(Control&) { CheckProg.SetChecked(true); }

void TFormType::CheckDataClick(Control&) { UpdateNeededSize(); }

void TFormType::DirectoryChange(Control&)
{
    EditDir.SetText(platform::ShownPath(DestinationForBrowsed(Directory.Directory(), DirSuffix)));
}

void TFormType::DriveChange(Control&) { UpdateDriveSpace(); }

} // namespace tarn

#include "wizard/form_type.h"

#include "base/codepage.h"
#include "base/format.h"
#include "base/path.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "wizard/destination.h"
#include "wizard/uninstall_run.h"

namespace tarn {

using namespace ui;

// The wizard as the runs see it.
class TFormType::Host : public RunHost {
public:
    explicit Host(TFormType& form) : f_(form) { }

    void SetCaption(const AnsiString& caption) override { f_.SetCaption(caption); }
    void SetText(RunText which, const AnsiString& text) override { Label(which).SetCaption(text); }
    void SetVisible(RunControl which, bool visible) override
    {
        switch (which) {
        case RunControl::btnBack: f_.btnBack.SetVisible(visible); break;
        case RunControl::btnNext: f_.btnNext.SetVisible(visible); break;
        case RunControl::LabelCopy: f_.LabelCopy.SetVisible(visible); break;
        case RunControl::Progress: f_.Progress.SetVisible(visible); break;
        }
    }
    void SetProgressRange(int64_t max) override { f_.Progress.SetRange(0, max); }
    void StepProgress(int64_t bytes) override
    {
        // The position only grows; past the range the bar stays full.
        if (bytes > 0)
            f_.Progress.SetPosition(f_.Progress.Position() > INT64_MAX - bytes ? INT64_MAX : f_.Progress.Position() + bytes);
    }
    void ProcessMessages() override { App().ProcessMessages(); }
    bool AbortRequested() override { return f_.GetModalResult() == mrAbort; }
    void Close(int modalResult) override { f_.SetModalResult(modalResult); }
    int Ask(const AnsiString& text, MsgType type, int buttons) override { return MessageDlg(text, type, buttons); }
    void Wait(uint32_t milliseconds) override
    {
        if (!f_.SkipPauses)
            platform::SleepMs(milliseconds);
    }
    void BringToFront() override { f_.BringToFront(); }
    void ShowPage(int index) override { f_.ShowPage(index); }
    void MoveToDirectory(const AnsiString& dir) override
    {
        if (!dir.empty())
            f_.Drive.SetDrive(dir[0]);
        f_.Directory.SetDirectory(dir);
    }
    void OpenFile(const AnsiString& file) override { platform::ShellOpen(file, ""); }

private:
    ui::Label& Label(RunText which)
    {
        switch (which) {
        case RunText::LabelCopyCap: return f_.LabelCopyCap;
        case RunText::LabelCopy: return f_.LabelCopy;
        case RunText::LabelDelTitle: return f_.LabelDelTitle;
        case RunText::LabelDel: return f_.LabelDel;
        case RunText::LabelExit: break;
        }
        return f_.LabelExit;
    }
    TFormType& f_;
};

namespace {

void Place(Control& c, int left, int top, int width, int height, const char8_t* caption = nullptr)
{
    c.SetBounds(left, top, width, height);
    if (caption)
        c.SetCaption(Sjis(caption));
}

} // namespace

TFormType::TFormType(TProgramState& state, Form* owner)
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
      LabelUninst(Add<ui::Label>("LabelUninst", &uninst)),
      Label6(Add<ui::Label>("Label6", &uninst)),
      CheckDelSave(Add<CheckBox>("CheckDelSave", &uninst)),
      LabelDelTitle(Add<ui::Label>("LabelDelTitle", &del)),
      LabelDel(Add<ui::Label>("LabelDel", &del)),
      Bevel1(Add<Bevel>("Bevel1")),
      btnBack(Add<Button>("btnBack")),
      btnNext(Add<Button>("btnNext")),
      btnAbort(Add<Button>("btnAbort")),
      state_(state),
      host_(std::make_unique<Host>(*this))
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
    Place(LabelUninst, 16, 12, 0, 12);
    Place(Label6, 16, 32, 0, 12, u8"実行 をクリックすると削除処理を開始します");
    Place(CheckDelSave, 20, 60, 201, 17, u8"セーブデータも削除");
    Place(LabelDelTitle, 16, 12, 0, 12);
    Place(LabelDel, 16, 200, 0, 12);

    FileOperation.Options = { TFileOpFlag::fofSilent, TFileOpFlag::fofNoConfirmation, TFileOpFlag::fofAllowUndo,
                              TFileOpFlag::fofFilesOnly };

    btnNext.OnClick = [this](Control& c) { btnNextClick(c); };
    btnBack.OnClick = [this](Control& c) { btnBackClick(c); };
    btnAbort.OnClick = [this](Control& c) { btnAbortClick(c); };
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
        EditDir.SetText(proposed.Path);
        if (!proposed.Path.empty())
            Drive.SetDrive(proposed.Path[0]);
        AnsiString nearest = NearestExistingAncestor(proposed.Path);
        if (!nearest.empty())
            Directory.SetDirectory(nearest);
        // The list shows the nearest existing folder, but the proposal is what
        // the person should see: following the browsing rule here would show
        // a suffix whose first folder exists twice, or drop missing levels
        // that are not part of the suffix.
        EditDir.SetText(proposed.Path);
        ShowPage(set.Installed != 0 ? pgUninst : pgMedia);
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
        for (int i = 0; i < 4; ++i)
            boxes[i]->SetVisible(ComponentSize(set, RadioDiskAll.Checked(), i) > 0);
        UpdateNeededSize();
        break;
    }
    case pgSelDir:
        UpdateDriveSpace();
        break;
    case pgCopy:
        if (RunInstallPage() != RunOutcome::Completed)
            return;
        break;
    case pgUninst:
        CheckDelSave.SetVisible(platform::FileExists(AddBackslash(uninstallDir_) + "save.dat"));
        break;
    case pgDelete:
        if (RunUninstallPage() != RunOutcome::Completed)
            return;
        break;
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

// Marks a run in progress for as long as it lasts, also when it raises.
struct Running {
    explicit Running(bool& flag) : flag_(flag) { flag_ = true; }
    ~Running() { flag_ = false; }
    bool& flag_;
};

} // namespace

RunOutcome TFormType::RunInstallPage()
{
    Running running(running_);
    InstallChoices choices;
    choices.AllDiscs = RadioDiskAll.Checked();
    choices.Data = CheckData.Checked();
    choices.Sound = CheckSound.Checked();
    choices.Movie = CheckMovie.Checked();
    choices.Destination = EditDir.Text();
    choices.NeededSize = NeededSize;
    choices.Shortcuts = MakeShortcuts;
    return RunInstall(state_, choices, *host_, RunEvents);
}

RunOutcome TFormType::RunUninstallPage()
{
    Running running(running_);
    UninstallChoices choices;
    choices.Directory = uninstallDir_;
    choices.DeleteSave = !CheckDelSave.Visible() || CheckDelSave.Checked();
    choices.Shortcuts = MakeShortcuts;
    return RunUninstall(state_.InstallSet, choices, FileOperation, *host_, RunEvents);
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
    int32_t free = GetDriveFreeMB(Drive.Drive());
    if (free >= 0)
        LabelSzDrv.SetCaption(DriveSpaceText(free));
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
            AnsiString recorded = set.ReadRegString("InstallPath", "");
            if (recorded.empty() || !MayRemoveInstallation(recorded, set.Title)) {
                MessageDlg(Format(u8"%s はインストールされていません", { set.Title }), MsgType::Information, mbOK);
                ShowPage(pgInst);
                return;
            }
            uninstallDir_ = AddBackslash(recorded);
        }
        ShowPage(pgUninst);
        return;
    }
    int next = NextPageFrom(index, RadioUninst.Checked());
    if (next < 0)
        SetModalResult(mrOk);
    else
        ShowPage(next);
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
    case pgDelete: {
        AnsiString question = Sjis(PageIndex() == pgCopy ? u8"インストールを中断しますか？" : u8"アンインストールを中断しますか？");
        if (MessageDlg(question, MsgType::Confirmation, mbYes | mbNo) == mrYes)
            SetModalResult(mrAbort);
        break;
    }
    default:
        SetModalResult(mrCancel);
        break;
    }
}

void TFormType::CheckProgClick(Control&) { CheckProg.SetChecked(true); }

void TFormType::CheckDataClick(Control&) { UpdateNeededSize(); }

void TFormType::DirectoryChange(Control&) { EditDir.SetText(DestinationForBrowsed(Directory.Directory(), DirSuffix)); }

void TFormType::DriveChange(Control&) { UpdateDriveSpace(); }

} // namespace tarn

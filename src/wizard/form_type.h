// TFormType: the wizard through which a person installs the game from its
// discs or removes an installation. Ten pages in a page control, three
// buttons below a separator; entering the copy page runs the install,
// entering the delete page the uninstall, both inside the page switch.
#pragma once

#include <memory>

#include "setup/program_state.h"
#include "ui/directory_list.h"
#include "ui/form.h"
#include "wizard/file_operation.h"
#include "wizard/page_rules.h"
#include "wizard/run_host.h"
#include "wizard/run_options.h"

namespace tarn {

class TFormType : public ui::Form {
public:
    // options: what the runs do beyond the pages' choices (shortcuts,
    // pauses, where discs lie); owner: the backdrop (may be null); observer:
    // told what the runs did (may be null).
    TFormType(TProgramState& state, const RunOptions& options, ui::Form* owner, RunObserver* observer = nullptr);
    ~TFormType() override;

    // The bytes the chosen components need (what the install run counts to).
    int64_t NeededSize = 0;
    // Appended to whatever directory is browsed to; empty: the browsed directory itself.
    AnsiString DirSuffix;

    int PageIndex() const { return Notebook.ActivePageIndex(); }
    void ShowPage(int index);
    void UpdateNeededSize();
    void UpdateDriveSpace();
    // The directory the uninstall removes (the installation).
    const AnsiString& UninstallDirectory() const { return uninstallDir_; }
    bool RunInProgress() const { return running_; }
    // During a run the close box asks at once whether to abort it, as 中断
    // does; otherwise it is the form's.
    void CloseRequested() override;

    TFileOperation FileOperation;

    ui::PageControl& Notebook;
    ui::Page& Inst;
    ui::Page& Media;
    ui::Page& file;
    ui::Page& seldir;
    ui::Page& confirm;
    ui::Page& copy;
    ui::Page& exit;
    ui::Page& uninst;
    ui::Page& del; // the page named "delete"
    ui::Page& exitdel;
    ui::Label& Label1;
    ui::RadioButton& RadioInst;
    ui::RadioButton& RadioUninst;
    ui::Label& LabelDisk;
    ui::RadioButton& RadioDiskAll;
    ui::RadioButton& RadioDiskThis;
    ui::Label& Label2;
    ui::CheckBox& CheckProg;
    ui::CheckBox& CheckData;
    ui::CheckBox& CheckSound;
    ui::CheckBox& CheckMovie;
    ui::Label& LabelSize;
    ui::Label& Label3;
    ui::Edit& EditDir;
    ui::DirectoryList& Directory;
    ui::DriveCombo& Drive;
    ui::Label& LabelSzDrv;
    ui::Label& LabelSzNeed;
    ui::Label& Label4;
    ui::Label& Label5;
    ui::Label& LabelCopyCap;
    ui::Label& LabelCopy;
    ui::ProgressBar& Progress;
    ui::Label& LabelExit;
    // What an uninstall left because the installation had not put it there.
    ui::Label& LabelKept;
    ui::Label& LabelUninst;
    ui::Label& Label6;
    ui::CheckBox& CheckDelSave;
    // Checks the installation and copies what is wrong again from the discs.
    ui::Button& btnRepair;
    ui::Label& LabelDelTitle;
    ui::Label& LabelDel;
    // Below the pages (created last: the console numbers them after the pages' controls).
    ui::Bevel& Bevel1;
    ui::Button& btnBack;
    ui::Button& btnNext;
    ui::Button& btnAbort;

private:
    void FormCreate();
    bool FormCloseQuery();
    void btnNextClick(ui::Control&);
    void btnBackClick(ui::Control&);
    void btnAbortClick(ui::Control&);
    void CheckProgClick(ui::Control&);
    void CheckDataClick(ui::Control&);
    void DirectoryChange(ui::Control&);
    void DriveChange(ui::Control&);
    void UpdateButtons(int index);
    // Leaving the destination page: a folder that cannot be one is refused,
    // a folder in use asked about. False keeps the page.
    bool DestinationAccepted();
    // The runs of the copy and delete pages, and what follows from their outcome: the
    // last page, closing, or the uninstall page again.
    void RunInstallPage();
    void RunUninstallPage();
    void RunRepairPage();
    void btnRepairClick(ui::Control&);
    // 中断 or the close box during a run: asked, and the modal result Abort on Yes.
    void AskToAbortRun();

    TProgramState& state_;
    const RunOptions options_;
    RunObserver* observer_;
    AnsiString uninstallDir_;
    // A folder in use the person has agreed to install into.
    AnsiString acceptedFolder_;
    bool running_ = false;
    bool asking_ = false;
    bool openedInstalled_ = false;
    bool componentsShown_ = false; // page 2 has had its first look
    bool repairing_ = false;       // the copy page runs the repair
    bool repairAtOnce_ = false;    // started to repair: as soon as the wizard shows
};

} // namespace tarn

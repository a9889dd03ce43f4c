// TFormType: the wizard through which a person installs the game from its
// discs or removes an installation. Ten pages in a page control, three
// buttons below a separator; entering page 5 runs the install, entering
// page 8 the uninstall, both inside the page switch.
#pragma once

#include <memory>

#include "setup/program_state.h"
#include "ui/directory_list.h"
#include "ui/form.h"
#include "wizard/file_operation.h"
#include "wizard/install_run.h"
#include "wizard/page_rules.h"
#include "wizard/run_host.h"

namespace tarn {

class TFormType : public ui::Form {
public:
    // owner: the backdrop (may be null).
    TFormType(TProgramState& state, ui::Form* owner);
    ~TFormType() override;

    // The bytes the chosen components need; the install run's progress range.
    int64_t NeededSize = 0;
    // Appended to whatever directory is browsed to; empty: the browsed directory itself.
    AnsiString DirSuffix;
    // The fixed pauses of the runs are skipped (nobody waits for a program
    // manager or a drive in a benchmark or an unattended install).
    bool SkipPauses = false;
    // False: the runs neither make nor remove a program group.
    bool MakeShortcuts = true;
    // What the runs report (tests, unattended installs).
    tarn::RunEvents RunEvents;

    int PageIndex() const { return Notebook.ActivePageIndex(); }
    void ShowPage(int index);
    void UpdateNeededSize();
    void UpdateDriveSpace();
    // The directory the uninstall removes (the installation).
    const AnsiString& UninstallDirectory() const { return uninstallDir_; }
    bool RunInProgress() const { return running_; }

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
    ui::Label& LabelUninst;
    ui::Label& Label6;
    ui::CheckBox& CheckDelSave;
    ui::Label& LabelDelTitle;
    ui::Label& LabelDel;
    // Below the pages (created last: the console numbers them after the pages' controls).
    ui::Bevel& Bevel1;
    ui::Button& btnBack;
    ui::Button& btnNext;
    ui::Button& btnAbort;

private:
    class Host;
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
    RunOutcome RunInstallPage();
    RunOutcome RunUninstallPage();

    TProgramState& state_;
    std::unique_ptr<Host> host_;
    AnsiString uninstallDir_;
    bool running_ = false;
    bool openedInstalled_ = false;
};

} // namespace tarn

// TFileOperation: hands a list of names to the shell's file operation, so
// that deletions go to the recycle bin (the trash) and the system reports
// what it cannot do.
#pragma once

#include <cstdint>
#include <functional>
#include <set>

#include "base/text.h"

namespace tarn {

enum class TFileOpFlag {
    fofMultiDestFiles, fofConfirmMouse, fofSilent, fofRenameOnCollision, fofNoConfirmation, fofWantMappingHandle,
    fofAllowUndo, fofFilesOnly, fofSimpleProgress, fofNoConfirmMkdir, fofNoErrorUI
};
using TFileOpFlags = std::set<TFileOpFlag>;

// The options of the wizard's component (the shell flags 0x00D4): to the
// trash, without asking, without a progress window.
inline const TFileOpFlags kWizardFileOpOptions{ TFileOpFlag::fofSilent, TFileOpFlag::fofNoConfirmation, TFileOpFlag::fofAllowUndo,
                                                TFileOpFlag::fofFilesOnly };

// The shell flag of an option (0 for fofWantMappingHandle), and of a set.
uint32_t ShellFlagOf(TFileOpFlag flag);
uint32_t ShellFlagsOf(const TFileOpFlags& flags);

// Each line followed by a NUL, then one more NUL.
std::string JoinNullList(const StringList& list);

// What one operation hands to the system's shell file operation.
struct ShellFileOpRecord {
    uint32_t Function = 0;
    std::string From, To; // double-NUL lists
    uint32_t Flags = 0;
    AnsiString Title; // empty: no progress title
};
// The record for a function on two lists under a component's options: the
// title goes only with fofSimpleProgress, the only option that shows it.
ShellFileOpRecord MakeShellFileOp(const TFileOpFlags& options, const AnsiString& title, uint32_t functionCode,
                                  std::string from, std::string to);
// The message of a name that could not be handled, naming it and the reason.
AnsiString FileOperationFailureText(uint32_t functionCode, const AnsiString& name, const AnsiString& reason);

class TFileOperation {
public:
    TFileOperation();
    virtual ~TFileOperation();

    StringList FromFiles;
    StringList ToFiles;
    TFileOpFlags Options{ TFileOpFlag::fofAllowUndo, TFileOpFlag::fofFilesOnly };
    AnsiString Title;

    // One shell file operation on double-NUL lists; returns the
    // any-operations-aborted indication. Names the system could not handle
    // and did not report itself are reported through ReportError, one
    // message each, unless fofNoErrorUI is set.
    virtual int32_t Execute(uint32_t functionCode, const std::string& from, const std::string& to);
    // Execute with the delete function on FromFiles.
    int32_t Delete();

    // How a failure is reported to the person (the run sets it to its host;
    // unset, failures go unreported).
    std::function<void(const AnsiString& message)> ReportError;
};

} // namespace tarn

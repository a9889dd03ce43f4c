#include "wizard/file_operation.h"

#include "base/format.h"
#include "platform/platform.h"

namespace tarn {

uint32_t ShellFlagOf(TFileOpFlag flag)
{
    switch (flag) {
    case TFileOpFlag::fofMultiDestFiles: return platform::kFofMultiDestFiles;
    case TFileOpFlag::fofConfirmMouse: return platform::kFofConfirmMouse;
    case TFileOpFlag::fofSilent: return platform::kFofSilent;
    case TFileOpFlag::fofRenameOnCollision: return platform::kFofRenameOnCollision;
    case TFileOpFlag::fofNoConfirmation: return platform::kFofNoConfirmation;
    // No name-mapping handle is ever asked for, so nothing has to free one.
    case TFileOpFlag::fofWantMappingHandle: return 0;
    case TFileOpFlag::fofAllowUndo: return platform::kFofAllowUndo;
    case TFileOpFlag::fofFilesOnly: return platform::kFofFilesOnly;
    case TFileOpFlag::fofSimpleProgress: return platform::kFofSimpleProgress;
    case TFileOpFlag::fofNoConfirmMkdir: return platform::kFofNoConfirmMkdir;
    case TFileOpFlag::fofNoErrorUI: return platform::kFofNoErrorUi;
    }
    return 0;
}

uint32_t ShellFlagsOf(const TFileOpFlags& flags)
{
    uint32_t bits = 0;
    for (TFileOpFlag f : flags)
        bits |= ShellFlagOf(f);
    return bits;
}

std::string JoinNullList(const StringList& list)
{
    std::string joined;
    for (const AnsiString& line : list) {
        joined += line;
        joined += '\0';
    }
    joined += '\0';
    return joined;
}

ShellFileOpRecord MakeShellFileOp(const TFileOpFlags& options, const AnsiString& title, uint32_t functionCode,
                                  std::string from, std::string to)
{
    ShellFileOpRecord record;
    record.Function = functionCode;
    record.From = std::move(from);
    record.To = std::move(to);
    record.Flags = ShellFlagsOf(options);
    if (options.count(TFileOpFlag::fofSimpleProgress))
        record.Title = title;
    return record;
}

AnsiString FileOperationFailureText(uint32_t functionCode, const AnsiString& name, const AnsiString& reason)
{
    const char8_t* format = u8"%s を処理できません。\n%s";
    switch (functionCode) {
    case platform::kFoMove: format = u8"%s を移動できません。\n%s"; break;
    case platform::kFoCopy: format = u8"%s をコピーできません。\n%s"; break;
    case platform::kFoDelete: format = u8"%s を削除できません。\n%s"; break;
    case platform::kFoRename: format = u8"%s の名前を変更できません。\n%s"; break;
    }
    return Format(std::u8string_view(format), { name, reason });
}

TFileOperation::TFileOperation() = default;

TFileOperation::~TFileOperation() = default;

int32_t TFileOperation::Execute(uint32_t functionCode, const std::string& from, const std::string& to)
{
    ShellFileOpRecord record = MakeShellFileOp(Options, Title, functionCode, from, to);
    platform::FileOperationResult result =
        platform::ShellFileOperation(record.Function, record.From, record.To, record.Flags, record.Title);
    // Where the system leaves the reports to the program, they are shown the
    // way the shell shows its own: one box per name, and the rest goes on.
    if (!Options.count(TFileOpFlag::fofNoErrorUI) && ReportError)
        for (const auto& [name, reason] : result.Failures)
            ReportError(FileOperationFailureText(functionCode, name, reason));
    return result.AnyOperationsAborted;
}

int32_t TFileOperation::Delete() { return Execute(platform::kFoDelete, JoinNullList(FromFiles), JoinNullList({})); }

} // namespace tarn

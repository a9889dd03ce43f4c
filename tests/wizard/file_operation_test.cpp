#include "base/codepage.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "wizard/file_operation.h"

using namespace tarn;
using tarn::test::S;
using tarn::test::TempDir;
using F = TFileOpFlag;

namespace {

const TFileOpFlags kWizardOptions = { F::fofSilent, F::fofNoConfirmation, F::fofAllowUndo, F::fofFilesOnly };

TEST(FileOperation, ShellFlagsOfTheOptions)
{
    const std::pair<F, uint32_t> table[] = {
        { F::fofMultiDestFiles, 0x0001 }, { F::fofConfirmMouse, 0x0002 },      { F::fofSilent, 0x0004 },
        { F::fofRenameOnCollision, 0x0008 }, { F::fofNoConfirmation, 0x0010 }, { F::fofWantMappingHandle, 0 },
        { F::fofAllowUndo, 0x0040 },      { F::fofFilesOnly, 0x0080 },         { F::fofSimpleProgress, 0x0100 },
        { F::fofNoConfirmMkdir, 0x0200 }, { F::fofNoErrorUI, 0x0400 },
    };
    TFileOpFlags all;
    for (const auto& [flag, bits] : table) {
        EXPECT_EQ(ShellFlagOf(flag), bits) << static_cast<int>(flag);
        all.insert(flag);
    }
    EXPECT_EQ(ShellFlagsOf(all), 0x07DFu);
    EXPECT_EQ(ShellFlagsOf({}), 0u);
    EXPECT_EQ(ShellFlagsOf(kWizardOptions), 0x00D4u);
    EXPECT_EQ(ShellFlagsOf(TFileOperation().Options), 0x00C0u);
}

TEST(FileOperation, NameListsEndInTwoNuls)
{
    EXPECT_EQ(JoinNullList({ "C:\\A\\x.txt", "C:\\A\\sub" }), std::string("C:\\A\\x.txt\0C:\\A\\sub\0\0", 21));
    EXPECT_EQ(JoinNullList({}), std::string(1, '\0'));
    // CP932 names, ソ's 0x5C included, go in unchanged.
    EXPECT_EQ(JoinNullList({ S(u8"C:\\ソ\\表") }), S(u8"C:\\ソ\\表") + std::string(2, '\0'));
}

TEST(FileOperation, WhatGoesToTheShell)
{
    ShellFileOpRecord r = MakeShellFileOp(kWizardOptions, "Progress", platform::kFoDelete, JoinNullList({ "C:\\A" }), JoinNullList({}));
    EXPECT_EQ(r.Function, 3u);
    EXPECT_EQ(r.Flags, 0x00D4u);
    EXPECT_EQ(r.From, std::string("C:\\A\0\0", 6));
    EXPECT_EQ(r.To, std::string(1, '\0'));
    // The title only goes with the one option that shows it.
    EXPECT_EQ(r.Title, "");
    TFileOpFlags withProgress = kWizardOptions;
    withProgress.insert(F::fofSimpleProgress);
    r = MakeShellFileOp(withProgress, "Progress", platform::kFoCopy, "", "");
    EXPECT_EQ(r.Title, "Progress");
    EXPECT_EQ(r.Flags, 0x01D4u);
    EXPECT_EQ(r.Function, 2u);
    r = MakeShellFileOp({}, "Progress", platform::kFoMove, "", "");
    EXPECT_EQ(r.Flags, 0u);
    EXPECT_EQ(r.Title, "");
}

TEST(FileOperation, DeleteTakesTheWholeListAndKeepsIt)
{
    TempDir dir;
    test::WriteFile(dir / "x.txt", "x");
    platform::ForceDirectories(dir / S(u8"ソフト\\sub"));
    test::WriteFile(dir / S(u8"ソフト\\sub\\save.dat"), "s");
    test::WriteFile(dir / "kept.txt", "k");
    TFileOperation op;
    op.Options = kWizardOptions;
    op.FromFiles = { dir / "x.txt", dir / S(u8"ソフト") };
    StringList reported;
    op.ReportError = [&](const AnsiString& message) { reported.push_back(message); };
    EXPECT_EQ(op.Delete(), 0);
    EXPECT_TRUE(reported.empty());
    EXPECT_FALSE(platform::FileExists(dir / "x.txt"));
    EXPECT_FALSE(platform::DirectoryExists(dir / S(u8"ソフト")));
    EXPECT_TRUE(platform::FileExists(dir / "kept.txt"));
    EXPECT_EQ(op.FromFiles, (StringList{ dir / "x.txt", dir / S(u8"ソフト") }));
    // An empty list does nothing.
    op.FromFiles.clear();
    EXPECT_EQ(op.Delete(), 0);
    EXPECT_TRUE(platform::FileExists(dir / "kept.txt"));
}

#ifndef _WIN32
// The Windows shell shows its own reports; on POSIX the component shows them.
TEST(FileOperation, EachFailureIsReportedAndTheRestGoesOn)
{
    TempDir dir;
    test::WriteFile(dir / "b.txt", "b");
    test::WriteFile(dir / "d.txt", "d");
    TFileOperation op;
    op.Options = kWizardOptions;
    op.FromFiles = { dir / "a missing", dir / "b.txt", dir / S(u8"表ソ") };
    StringList reported;
    op.ReportError = [&](const AnsiString& message) { reported.push_back(message); };
    EXPECT_EQ(op.Delete(), 0);
    EXPECT_FALSE(platform::FileExists(dir / "b.txt"));
    ASSERT_EQ(reported.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        AnsiString head = (i == 0 ? dir / "a missing" : dir / S(u8"表ソ")) + S(u8" を削除できません。\n");
        EXPECT_EQ(reported[i].compare(0, head.size(), head), 0) << Cp932ToUtf8Lossy(reported[i]);
        EXPECT_GT(reported[i].size(), head.size()) << "no reason given";
    }
    // With fofNoErrorUI nobody is told.
    reported.clear();
    op.Options.insert(F::fofNoErrorUI);
    op.FromFiles = { dir / "c missing", dir / "d.txt" };
    op.Delete();
    EXPECT_TRUE(reported.empty());
    EXPECT_FALSE(platform::FileExists(dir / "d.txt"));
    EXPECT_EQ(FileOperationFailureText(platform::kFoCopy, "C:\\A", "why"), S(u8"C:\\A をコピーできません。\nwhy"));
}
#endif

} // namespace

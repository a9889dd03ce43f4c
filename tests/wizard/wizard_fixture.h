// Disc sets built by the tests (descriptions by the description writer,
// archives by the archive writer, files as given), and a run host that
// scripts what a person does at exact points and takes no time to wait.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/vr_files.h"
#include "archive/vr_writer.h"
#include "base/codepage.h"
#include "base/path.h"
#include "platform/file_routines.h"
#include "platform/platform.h"
#include "setup/install_set.h"
#include "setup/program_state.h"
#include "support/test_support.h"
#include "ui/form.h"
#include "wizard/page_rules.h"
#include "wizard/run_host.h"

namespace tarn::test {

struct DiscContent {
    std::map<AnsiString, std::string> Files;   // relative path -> bytes
    std::map<AnsiString, std::string> Entries; // archive entry -> bytes
};

// A set of discs in root\disc1, root\disc2, ... with one title and registry
// key of its own, so that tests never see each other's records.
class DiscSet {
public:
    DiscSet(const AnsiString& title, std::vector<DiscContent> discs) : title_(title), discs_(std::move(discs))
    {
        static int counter = 0;
        // (Under Wine every test program shares the registry.)
        registryKey_ = "TarnTests\\Wizard" + std::to_string(counter++) + "_" + RunId();
        for (size_t i = 0; i < discs_.size(); ++i)
            Write(static_cast<int>(i), static_cast<int>(i));
    }
    ~DiscSet()
    {
        TTarnInstallSet set = Description(0);
        set.DeleteRegistryKey();
        RemoveGroup(title_);
    }

    AnsiString Disc(int index) const { return root_ / ("disc" + std::to_string(index + 1) + "\\"); }
    const AnsiString& Root() const { return root_.Path(); }
    const AnsiString& Title() const { return title_; }
    const AnsiString& RegistryKey() const { return registryKey_; }

    // The description of disc index; sizes are the bytes the disc's files of
    // each component hold.
    TTarnInstallSet Description(int index) const
    {
        TTarnInstallSet set;
        set.DiscIndex = index;
        set.Title = title_;
        set.FooterText = S(u8"(C) テスト");
        set.DefaultDir = DefaultDir;
        set.ReadmeFile = ReadmeFile;
        set.OpenReadme = 0;
        set.GameExe = "game.exe";
        set.SetDiscCount(static_cast<int32_t>(discs_.size()));
        set.MediaName = "CD-ROM";
        set.RegistryKey = registryKey_;
        for (size_t d = 0; d < discs_.size(); ++d) {
            for (const auto& [name, bytes] : discs_[d].Files) {
                int kind = Kind(name);
                std::span<int32_t> list = kind == 1 ? set.SoundSizes() : kind == 2 ? set.MovieSizes() : set.ProgramSizes();
                list[d] += static_cast<int32_t>(bytes.size());
            }
            for (const auto& [name, bytes] : discs_[d].Entries)
                set.DataSizes()[d] += static_cast<int32_t>(bytes.size());
        }
        for (size_t d = 0; d < discs_.size(); ++d) {
            set.ProgramTotal += set.ProgramSizes()[d];
            set.DataTotal += set.DataSizes()[d];
            set.SoundTotal += set.SoundSizes()[d];
            set.MovieTotal += set.MovieSizes()[d];
        }
        return set;
    }

    // Writes disc `content` into the folder of disc `folder` (a wrong disc
    // when they differ).
    void Write(int content, int folder)
    {
        AnsiString dir = Disc(folder);
        platform::ForceDirectories(dir);
        Description(content).SaveToFile(dir + "install.dat");
        for (const auto& [name, bytes] : discs_[static_cast<size_t>(content)].Files) {
            platform::ForceDirectories(ExtractFilePath(dir + name));
            WriteFile(dir + name, bytes);
        }
        std::vector<TVrNewEntry> entries;
        for (const auto& [name, bytes] : discs_[static_cast<size_t>(content)].Entries) {
            TVrNewEntry e;
            e.Name = name;
            e.Data = bytes;
            entries.push_back(e);
        }
        TVrWriteOptions o;
        o.Sync = false;
        WriteVrArchive(dir + "game.dat", entries, o);
    }

    // The state start-up hands to the windows for disc index.
    void LoadState(TProgramState& state, int index) const
    {
        state.SourceDir = state.ProgramDir = Disc(index);
        state.InstallSet.LoadFromFile(Disc(index) + "install.dat");
        state.GameArchive = std::make_unique<TVrFileCollection>();
        state.GameArchive->Open(Disc(index) + "game.dat");
    }

    AnsiString DefaultDir = "<ProgramFiles>\\Tests\\Game";
    AnsiString ReadmeFile;

private:
    static int Kind(const AnsiString& name)
    {
        AnsiString ext = AnsiLowerCase(ExtractFileExt(name));
        if (ext == ".wav" || ext == ".mid" || ext == ".mp3")
            return 1;
        if (ext == ".mpg" || ext == ".avi")
            return 2;
        return 0;
    }

    TempDir root_;
    AnsiString title_;
    std::vector<DiscContent> discs_;
    AnsiString registryKey_;
};

// A run host for the runs alone: every question is answered from a queue
// (or fails the test), reports are kept, the person acts at numbered message-processing points
// (an abort is confirmed by setting Aborted there), and pauses only count.
class ScriptedHost : public RunHost {
public:
    struct Answer {
        std::string Contains; // UTF-8 text the question must hold
        int Result;           // a ui::ModalResult: mrOk/mrYes go on, anything else does not
        std::function<void()> Then = {}; // what the person does before answering
    };
    std::deque<Answer> Answers;
    // Called at every message-processing point with its number (from 1).
    std::function<void(int point)> OnProcess;

    int Points = 0;
    bool Aborted = false;
    AnsiString Heading;
    std::vector<AnsiString> Steps, Items;
    bool ProgressShown = false;
    int64_t Range = 0, Position = 0;
    int PositionSteps = 0;
    // Progress reported after the abort was confirmed (work the run did
    // although it should have stopped).
    int64_t PositionAfterAbort = 0;
    std::vector<std::string> Asked; // UTF-8
    std::vector<std::pair<ReportKind, std::string>> Reports;
    std::vector<uint32_t> Waits;
    std::vector<AnsiString> Opened, Commands;
    std::vector<std::pair<int, AnsiString>> Found;
    std::vector<std::string> Undone;
    StringList KeptNames;
    StringList LeftOutFiles;
    AnsiString Left;
    int Fronts = 0;

    void Begin(const AnsiString& heading) override { Heading = heading; }
    bool Step(const AnsiString& text) override
    {
        Steps.push_back(text);
        return Process();
    }
    void Item(const AnsiString& text) override
    {
        if (Items.empty() || Items.back() != text)
            Items.push_back(text);
    }
    void BeginProgress(int64_t total) override
    {
        Range = total;
        ProgressShown = true;
    }
    bool Progress(int64_t bytes) override
    {
        EXPECT_GE(bytes, 0);
        Position += bytes;
        if (Aborted)
            PositionAfterAbort += bytes;
        ++PositionSteps;
        return Process();
    }
    void EndProgress() override { ProgressShown = false; }
    DiscAnswer PromptDisc(int index, const StringList&, const DiscWatch&) override
    {
        // As the wizard asks: the prompt, and on Abort whether to abort.
        if (Ask(AnsiToHostUtf8(DiscPromptText(index))) == ui::mrOk) {
            Pause(500);
            return DiscAnswer::Retry;
        }
        if (Ask(AnsiToHostUtf8(AbortQuestion(false))) == ui::mrYes) {
            Aborted = true;
            return DiscAnswer::Abort;
        }
        return DiscAnswer::Retry;
    }
    bool ContinueAfterCopyFailure(const AnsiString& file, const AnsiString& target, const AnsiString& reason) override
    {
        return Ask(AnsiToHostUtf8(CopyFailureQuestion(file, target, reason))) == ui::mrYes;
    }
    void Report(ReportKind kind, const AnsiString& text) override { Reports.push_back({ kind, AnsiToHostUtf8(text) }); }
    void Pause(uint32_t ms) override { Waits.push_back(ms); }
    void BringToFront() override { ++Fronts; }
    void LeaveDirectory(const AnsiString& dir) override
    {
        Left = dir;
        platform::ChangeDirectory(platform::WindowsDirectory());
    }
    void OpenDocument(const AnsiString& file) override { Opened.push_back(file); }
    void DiscFound(int index, const AnsiString& dir, const StringList&) override { Found.push_back({ index, dir }); }
    void ProgramManagerCommand(const AnsiString& command) override { Commands.push_back(command); }
    void RolledBack(const std::string& what, const AnsiString& path) override { Undone.push_back(what + " " + AnsiToHostUtf8(path)); }
    void Kept(const AnsiString&, const StringList& relative) override { KeptNames = relative; }
    void LeftOut(const AnsiString& file) override { LeftOutFiles.push_back(file); }

private:
    bool Process()
    {
        ++Points;
        if (OnProcess)
            OnProcess(Points);
        return !Aborted;
    }
    // The answer to a question holding text (reports are answered OK).
    int Ask(const std::string& utf8)
    {
        Asked.push_back(utf8);
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << utf8;
            return ui::mrCancel;
        }
        Answer a = Answers.front();
        Answers.pop_front();
        EXPECT_NE(utf8.find(a.Contains), std::string::npos) << utf8 << " (expected " << a.Contains << ")";
        if (a.Then)
            a.Then();
        return a.Result;
    }
};

} // namespace tarn::test

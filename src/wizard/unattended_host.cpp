#include "wizard/unattended_host.h"

#include <ctime>

#include "base/codepage.h"
#include "base/format.h"
#include "base/log_text.h"
#include "base/messages.h"
#include "base/path.h"
#include "ui/controls.h"
#include "wizard/page_rules.h"

namespace tarn {

namespace {

std::string Text(const AnsiString& s) { return LogText(s); }
std::string Shown(const AnsiString& path) { return LogPath(path); }

std::string Joined(const StringList& paths)
{
    std::string out;
    for (const AnsiString& p : paths)
        out += (out.empty() ? "" : ", ") + Shown(p);
    return out;
}

// How a message box would have been titled and answered, for the log.
std::string BoxLine(const char8_t* title, const AnsiString& text, const char8_t* answer)
{
    return "message box (" + Text(Sjis(title)) + "): " + Text(text) + " -> " + Text(ui::StripMnemonic(Sjis(answer)));
}

} // namespace

std::string LogText(const AnsiString& cp932) { return EscapeCp932ForLog(cp932); }
std::string LogPath(const AnsiString& path) { return EscapeForLog(platform::DisplayPath(path)); }

RunLog::RunLog(const std::string& path)
{
    if (path == "-") {
        toStderr_ = true;
    } else if (!path.empty()) {
        file_ = platform::File::Open(platform::PathFromHost(path), platform::File::Mode::Create);
        failed_ = !file_;
    }
}

void RunLog::Line(const std::string& utf8)
{
    if (!toStderr_ && !file_)
        return;
    std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
    std::string line = std::string(stamp) + " " + utf8 + "\n";
    if (toStderr_)
        platform::WriteStderr(line);
    else
        file_->Write(line.data(), static_cast<int64_t>(line.size()));
}

UnattendedHost::UnattendedHost(RunLog& log, bool verySilent)
    : log_(log), verySilent_(verySilent), terminal_(platform::StderrIsTerminal())
{
}

void UnattendedHost::Error(const std::string& message)
{
    errors_.push_back(message);
    EndLine();
    platform::WriteStderr("tarn-setup: " + message + "\n");
    log_.Line("error: " + message);
}

void UnattendedHost::Say(const std::string& text)
{
    if (verySilent_)
        return;
    EndLine();
    platform::WriteStderr(text + "\n");
}

void UnattendedHost::EndLine()
{
    if (barWidth_ > 0)
        platform::WriteStderr("\n");
    barWidth_ = 0;
}

// A line per new step or item when standard error is a file or a pipe; on a
// terminal one line drawn again, at most every 50 ms unless the step changed.
void UnattendedHost::ShowProgress(bool newStep)
{
    if (verySilent_)
        return;
    int percent = -1;
    if (progressShown_)
        percent = total_ <= 0 || position_ >= total_ ? 100 : static_cast<int>(static_cast<long double>(position_) * 100 / total_);
    std::string percentText = percent >= 0 ? std::to_string(percent) + "% " : std::string();
    if (!terminal_) {
        if (newStep)
            platform::WriteStderr(percentText + Text(shown_) + "\n");
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (!newStep && (percent == lastPercent_ || now - lastDrawn_ < std::chrono::milliseconds(50)))
        return;
    lastDrawn_ = now, lastPercent_ = percent;
    std::string line = (percent >= 0 ? ui::TextProgressBar(percent) + " " : std::string()) + Text(shown_);
    size_t width = line.size();
    if (line.size() < barWidth_)
        line += std::string(barWidth_ - line.size(), ' ');
    platform::WriteStderr("\r" + line);
    barWidth_ = width;
}

void UnattendedHost::Begin(const AnsiString&) { }

bool UnattendedHost::Step(const AnsiString& text)
{
    if (text != shown_) {
        shown_ = text;
        ShowProgress(true);
    }
    return true;
}

void UnattendedHost::Item(const AnsiString& text)
{
    if (text != shown_) {
        shown_ = text;
        ShowProgress(true);
    }
}

void UnattendedHost::BeginProgress(int64_t total)
{
    total_ = total;
    position_ = 0;
    progressShown_ = true;
}

bool UnattendedHost::Progress(int64_t bytes)
{
    if (bytes > 0)
        position_ = position_ > INT64_MAX - bytes ? INT64_MAX : position_ + bytes;
    ShowProgress(false);
    return true;
}

void UnattendedHost::EndProgress() { progressShown_ = false; }

DiscAnswer UnattendedHost::PromptDisc(int index, const StringList& lookedAt, const DiscWatch&)
{
    // There is nobody to change the disc.
    discMissing_ = true;
    Error(Text(Format(u8"ディスク%dが見つかりません", { index + 1 })) + " (looked at: " + Joined(lookedAt) + "; give --disc " +
          std::to_string(index + 1) + "=PATH for its folder or image)");
    return DiscAnswer::Abort;
}

bool UnattendedHost::ContinueAfterCopyFailure(const AnsiString& file, const AnsiString& target, const AnsiString& reason)
{
    // An installation with a file missing would look complete: it fails.
    log_.Line(BoxLine(msg::TitleConfirmation, CopyFailureQuestion(file), msg::ButtonNo));
    Error(Text(Format(u8"%s をコピーできませんでした", { ExtractFileName(file) })) + ": " + Shown(target) +
          (reason.empty() ? std::string() : ": " + Text(reason)));
    return false;
}

void UnattendedHost::Report(ReportKind kind, const AnsiString& text)
{
    const char8_t* title = kind == ReportKind::Error ? msg::TitleError : kind == ReportKind::Warning ? msg::TitleWarning : msg::TitleInformation;
    log_.Line(BoxLine(title, text, msg::ButtonOK));
    // A warning is told and the run goes on (a run it ends says so itself);
    // an error fails the run.
    if (kind == ReportKind::Error) {
        Error(Text(text));
        return;
    }
    if (kind == ReportKind::Warning)
        lastWarning_ = Text(text);
    if (!verySilent_) {
        EndLine();
        platform::WriteStderr("tarn-setup: " + std::string(kind == ReportKind::Warning ? "warning: " : "") + Text(text) + "\n");
    }
}

void UnattendedHost::Wanting(const AnsiString& text)
{
    log_.Line("wanting: " + Text(text));
    if (!verySilent_) {
        EndLine();
        platform::WriteStderr("tarn-setup: warning: " + Text(text) + "\n");
    }
    RunHost::Wanting(text);
}

void UnattendedHost::LeaveDirectory(const AnsiString&) { platform::ChangeDirectory(platform::WindowsDirectory()); }

void UnattendedHost::OpenDocument(const AnsiString& file)
{
    // No window opens without a person to read it.
    log_.Line("not opened (nobody to read it): " + Shown(file));
}

void UnattendedHost::DiscFound(int index, const AnsiString& dir, const StringList& lookedAt)
{
    std::string line = "disc " + std::to_string(index + 1) + " in " + Shown(dir);
    if (!lookedAt.empty())
        line += " (looked at: " + Joined(lookedAt) + ")";
    log_.Line(line);
}

void UnattendedHost::FileCopied(const AnsiString& from, const AnsiString& to, int64_t size, CopyOutcome outcome)
{
    std::string bytes = " (" + std::to_string(size) + " bytes)";
    if (outcome == CopyOutcome::Copied)
        log_.Line("copied " + Shown(from) + " to " + Shown(to) + bytes);
    else if (outcome == CopyOutcome::Unchanged)
        log_.Line("skipped " + Shown(to) + bytes + ": unchanged");
    else
        log_.Line("error: could not copy " + Shown(from) + " to " + Shown(to));
}

void UnattendedHost::FoundComplete(const AnsiString& file, int64_t size)
{
    ++foundFiles_;
    foundBytes_ += size;
    log_.Line("found complete " + Shown(file) + " (" + std::to_string(size) + " bytes): read again, kept");
}

void UnattendedHost::EntriesFoundComplete(const AnsiString& archive, int32_t entries, int64_t bytes)
{
    foundEntries_ += entries;
    foundBytes_ += bytes;
    log_.Line("found complete " + std::to_string(entries) + " entries of " + Shown(archive) + " (" + std::to_string(bytes) +
              " bytes): read again, kept");
}

void UnattendedHost::SayFoundComplete()
{
    if (foundFiles_ == 0 && foundEntries_ == 0)
        return;
    std::string text = "found complete: " + std::to_string(foundFiles_) + " files, " + std::to_string(foundEntries_) +
                       " archive entries, " + std::to_string(foundBytes_) + " bytes (read again and kept, not copied)";
    log_.Line(text);
    Say("tarn-setup: " + text);
}

void UnattendedHost::ArchiveMerged(int index, int32_t sourceEntries, int32_t before, int32_t after)
{
    log_.Line("merged game.dat of disc " + std::to_string(index + 1) + ": " + std::to_string(sourceEntries) + " entries, " +
              std::to_string(after - before) + " new; the destination's game.dat had " + std::to_string(before) + ", now " +
              std::to_string(after));
}

void UnattendedHost::ProgramManagerCommand(const AnsiString& command) { log_.Line("program manager: " + Text(command)); }

void UnattendedHost::RegistryWritten(const AnsiString& name, const AnsiString& value)
{
    log_.Line("registry: " + RegistryKey + " " + Text(name) + " = " + Text(value));
}

void UnattendedHost::RegistryDeleted() { log_.Line("registry: deleted " + RegistryKey); }

void UnattendedHost::Removing(const StringList& names)
{
    for (const AnsiString& n : names)
        log_.Line("removing " + Shown(n));
}

void UnattendedHost::Kept(const AnsiString& dir, const StringList& relative)
{
    for (const AnsiString& r : relative)
        log_.Line("kept " + Shown(dir + r) + ": not put there by the installation");
    Say("tarn-setup: kept " + std::to_string(relative.size()) + " files the installation had not put there, in " + Shown(dir));
}

void UnattendedHost::LeftOut(const AnsiString& file)
{
    log_.Line("no menu item, never opened (outside the destination): " + Text(file));
}

void UnattendedHost::RolledBack(const std::string& what, const AnsiString& path)
{
    log_.Line("undone: " + what + (path.empty() ? std::string() : " " + Shown(path)));
}

} // namespace tarn

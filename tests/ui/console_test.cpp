#include <deque>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/console/console_backend.h"
#include "ui/directory_list.h"
#include "ui/message_dialog.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::CurrentDirectoryGuard;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// The console backend on lines given by the test, its output collected.
struct Console {
    std::deque<std::string> input;
    std::string output;
    ConsoleBackend* backend = nullptr;

    explicit Console(std::initializer_list<std::string> lines) : input(lines)
    {
        auto b = std::make_unique<ConsoleBackend>(
            [this](std::string& line, int timeoutMs) {
                if (input.empty())
                    return platform::InputResult::End;
                if (input.front() == "<wait>") { // nothing typed yet
                    if (timeoutMs >= 0) {
                        input.pop_front();
                        return platform::InputResult::Timeout;
                    }
                    input.pop_front();
                }
                line = input.front();
                input.pop_front();
                return platform::InputResult::Line;
            },
            [this](std::string_view text) { output += text; });
        backend = b.get();
        App().SetBackend(std::move(b));
    }
};

struct Menu : Form {
    Menu() : Form("Menu")
    {
        SetCaption(S(u8"ゲーム"));
        info.SetCaption(S(u8"選んでください"));
        start.SetCaption(S(u8"ゲームスタート"));
        start.SetEnabled(false);
        start.ModalResult = mrOk;
        music.SetCaption(S(u8"サウンド(&S)"));
        radioA.SetCaption("A");
        radioB.SetCaption("B");
        radioA.SetChecked(true);
        dir.SetCaption(S(u8"インストール先"));
        dir.SetText("C:\\Games");
        bar.SetPosition(25);
        exit.SetCaption(S(u8"終了"));
        exit.ModalResult = mrCancel;
        exit.SetDefault(true);
        hidden.SetVisible(false);
    }
    Label& info = Add<Label>("info");
    Button& start = Add<Button>("start");
    CheckBox& music = Add<CheckBox>("music");
    RadioButton& radioA = Add<RadioButton>("a");
    RadioButton& radioB = Add<RadioButton>("b");
    Edit& dir = Add<Edit>("dir");
    ProgressBar& bar = Add<ProgressBar>("bar");
    Button& hidden = Add<Button>("hidden");
    Button& exit = Add<Button>("exit");
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

TEST(ConsoleProtocol, RendersEveryKindOfControl)
{
    Console console({});
    Menu m;
    EXPECT_EQ(ConsoleBackend::Render(m), "ゲーム\n"
                                          "選んでください\n"
                                          "[1-] ゲームスタート\n"
                                          "[2] [ ] サウンド(S)\n"
                                          "[3] (*) A\n"
                                          "[4] ( ) B\n"
                                          "[5] インストール先: C:\\Games\n"
                                          "[#####...............] 25%\n"
                                          "[7] 終了\n");
}

TEST(ConsoleProtocol, LinesClickToggleAndSetText)
{
    Console console({ "2", "4", "5=D:\\ソフト", "99", "1", "" });
    Menu m;
    int clicks = 0;
    m.music.OnClick = [&](Control&) { ++clicks; };
    EXPECT_EQ(m.ShowModal(), mrCancel); // the empty line pressed the default button (exit)
    EXPECT_TRUE(m.music.Checked());
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(m.radioB.Checked());
    EXPECT_FALSE(m.radioA.Checked());
    EXPECT_EQ(m.dir.Text(), S(u8"D:\\ソフト"));
    // Shown once, then printed again after each change; "99" and the disabled "1" changed nothing.
    EXPECT_NE(console.output.find("?\n"), std::string::npos);
    EXPECT_NE(console.output.find("[2] [x] サウンド(S)\n[3] ( ) A\n[4] (*) B\n[5] インストール先: D:\\ソフト\n"), std::string::npos);
}

TEST(ConsoleProtocol, LinesNameControlsByNameOrCaption)
{
    // Names and captions mean what numbers do; a hidden control (hidden)
    // and a disabled one (start) are named by nothing but their number.
    Console console({ "music", "b", "dir=D:\\ソフト", "サウンド(S)", "hidden", "ゲームスタート", "start", "終了" });
    Menu m;
    int clicks = 0;
    m.music.OnClick = [&](Control&) { ++clicks; };
    EXPECT_EQ(m.ShowModal(), mrCancel);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(m.music.Checked());
    EXPECT_TRUE(m.radioB.Checked());
    EXPECT_EQ(m.dir.Text(), S(u8"D:\\ソフト"));
    EXPECT_EQ(Count(console.output, "?\n"), 3u) << console.output;
}

TEST(ConsoleProtocol, ANumberComesFirstAndAnAmbiguousCaptionNamesNothing)
{
    struct Twins : Form {
        Twins() : Form("Twins")
        {
            for (Button* b : { &one, &two, &three, &named }) {
                b->SetCaption(S(u8"実行(&R)"));
                b->OnClick = [this, b](Control&) { pressed.push_back(b->Name()); };
            }
            three.SetVisible(false);
            named.SetCaption("1");
            two.OnClick = [this](Control&) {
                pressed.push_back("two");
                one.SetVisible(false);
            };
            quit.SetCaption(S(u8"やめる"));
            quit.ModalResult = mrCancel;
        }
        Button& one = Add<Button>("one");
        Button& two = Add<Button>("two");
        Button& three = Add<Button>("three");
        Button& named = Add<Button>("2"); // its name and caption are others' numbers
        Button& quit = Add<Button>("quit");
        StringList pressed;
    };
    // Two showing buttons read 実行(R): the caption names neither, until
    // one of them is hidden. "1" and "2" are numbers before anything else.
    Console console({ "実行(R)", "1", "2", "実行(R)", "やめる" });
    Twins t;
    EXPECT_EQ(t.ShowModal(), mrCancel);
    EXPECT_EQ(t.pressed, (StringList{ "one", "two", "two" }));
    EXPECT_EQ(Count(console.output, "?\n"), 1u) << console.output;
}

TEST(ConsoleProtocol, AScriptThatNamesControlsSurvivesANewControl)
{
    // A form whose code gained a button in front of the others, which
    // shifts every number: the same lines drive both.
    struct Settings : Form {
        explicit Settings(bool added) : Form("Settings"), extra(added ? &Add<Button>("extra") : nullptr)
        {
            music.SetCaption(S(u8"サウンド(&S)"));
            done.SetCaption(S(u8"完了"));
            done.ModalResult = mrOk;
        }
        Button* extra; // made first
        CheckBox& music = Add<CheckBox>("music");
        Edit& dir = Add<Edit>("dir");
        Button& done = Add<Button>("done");
    };
    for (bool added : { false, true }) {
        SCOPED_TRACE(added);
        Console console({ "music", "dir=C:\\x", "完了" });
        Settings f(added);
        EXPECT_EQ(f.ShowModal(), mrOk);
        EXPECT_TRUE(f.music.Checked());
        EXPECT_EQ(f.dir.Text(), "C:\\x");
        EXPECT_EQ(Count(console.output, "?\n"), 0u) << console.output;
        EXPECT_NE(console.output.find(added ? "[2] [x] サウンド(S)\n" : "[1] [x] サウンド(S)\n"), std::string::npos) << console.output;
    }
}

TEST(ConsoleProtocol, ALineThatChangesNothingDoesNotPrintTheFormAgain)
{
    // The radio button A is checked already; "99" names nothing.
    Console console({ "a", "99", "4", "" });
    Menu m;
    m.ShowModal();
    EXPECT_EQ(Count(console.output, "\nゲーム\n"), 2u) << console.output; // shown, then after B
}

TEST(ConsoleProtocol, EndOfInputIsTheCloseBoxAndNeverHangs)
{
    Console console({});
    Menu m;
    int asked = 0;
    m.OnCloseQuery = [&] {
        ++asked;
        return MessageDlg(S(u8"終了しますか？"), MsgType::Confirmation, mbYes | mbNo) == mrYes;
    };
    EXPECT_EQ(m.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 1);
    // The question was printed with its title and numbered buttons.
    EXPECT_NE(console.output.find("\n確認\n終了しますか？\n[1] はい(Y)\n[2] いいえ(N)\n"), std::string::npos) << console.output;
}

TEST(ConsoleProtocol, MessageBoxTakesANumber)
{
    Console console({ "2" });
    EXPECT_EQ(MessageDlg(S(u8"中断しますか？"), MsgType::Confirmation, mbYes | mbNo), mrNo);
    Console again({ "" });
    EXPECT_EQ(MessageDlg("x", MsgType::Confirmation, mbYes | mbNo), mrYes); // the default button
}

TEST(ConsoleProtocol, InputDuringALongRunIsHandled)
{
    Console console({ "<wait>", "1" });
    Form f("Run");
    Button& abort = f.Add<Button>("abort");
    abort.SetCaption("Abort");
    ProgressBar& bar = f.Add<ProgressBar>("bar");
    f.Show();
    bool aborted = false;
    abort.OnClick = [&](Control&) { aborted = true; };
    for (int i = 0; i <= 100 && !aborted; ++i) {
        bar.SetPosition(i);
        App().ProcessMessages();
    }
    EXPECT_TRUE(aborted);
    f.Hide();
}

// A run the way the wizard has one: inside a click, with its buttons
// disabled meanwhile, processing messages and then asking a question.
struct Wizard : Form {
    Wizard() : Form("Wizard")
    {
        next.SetCaption("Next");
        next.SetDefault(true);
        abort.SetCaption("Abort");
        back.SetCaption("Back");
        abort.OnClick = [this](Control&) { aborted = true; };
        next.OnClick = [this](Control&) {
            next.SetEnabled(false);
            back.SetEnabled(false);
            for (int i = 0; i < 5; ++i)
                App().ProcessMessages();
            answers.push_back(MessageDlg(S(u8"ディスク 2 を入れてください"), MsgType::Warning, mbOK | mbAbort));
            next.SetEnabled(true);
            back.SetEnabled(true);
        };
    }
    Button& next = Add<Button>("next");
    Button& abort = Add<Button>("abort");
    Button& back = Add<Button>("back");
    bool aborted = false;
    std::vector<int> answers;
};

TEST(ConsoleProtocol, InputForAnotherFormWaitsInOrderDuringALongRun)
{
    // "3" is for the disabled Back: it waits, and "2" (Abort, which the busy
    // form could take) waits behind it; both go to the question.
    Console console({ "1", "<wait>", "3", "2" });
    Wizard w;
    EXPECT_EQ(w.ShowModal(), mrCancel); // then input ends: the close box
    EXPECT_FALSE(w.aborted);
    EXPECT_EQ(w.answers, (std::vector<int>{ mrAbort })); // "3" is no button of the box, "2" its 中止
    EXPECT_EQ(Count(console.output, "?\n"), 1u);
}

TEST(ConsoleProtocol, AnEmptyLineWaitsWhileTheDefaultButtonIsDisabled)
{
    Console console({ "1", "", "1" });
    Wizard w;
    w.ShowModal();
    // The empty line was the question's OK; the second run found no input left.
    EXPECT_EQ(w.answers, (std::vector<int>{ mrOk, mrAbort }));
    EXPECT_EQ(Count(console.output, "(end of input) 中止(A)\n"), 1u) << console.output;
}

TEST(ConsoleProtocol, AfterTheEndOfInputMessageBoxesGiveTheSafeAnswer)
{
    Console console({});
    int asked = 0, r = mrNone;
    while ((r = MessageDlg(S(u8"ディスク 2 を入れてください"), MsgType::Warning, mbOK | mbAbort)) == mrOk && asked < 10)
        ++asked;
    EXPECT_EQ(r, mrAbort);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(MessageDlg("q", MsgType::Confirmation, mbYes | mbNo | mbCancel), mrNo);
    EXPECT_EQ(MessageDlg("q", MsgType::Warning, mbOK | mbCancel), mrCancel);
    EXPECT_EQ(MessageDlg("q", MsgType::Information, mbOK), mrOk);
    EXPECT_EQ(Count(console.output, "(end of input) "), 4u);
    EXPECT_NE(console.output.find("(end of input) 中止(A)\n"), std::string::npos);
    EXPECT_NE(console.output.find("(end of input) いいえ(N)\n"), std::string::npos);
    EXPECT_NE(console.output.find("(end of input) キャンセル\n"), std::string::npos);
    EXPECT_NE(console.output.find("(end of input) OK\n"), std::string::npos);
}

AnsiString NoSlash(AnsiString d)
{
    while (d.size() > 3 && d.back() == '\\')
        d.pop_back();
    return d;
}

// The directory a list shows, as the console writes it (host form on POSIX).
std::string Shown(const AnsiString& dir)
{
    std::string host = platform::DisplayPath(dir);
#ifndef _WIN32
    if (host.size() > 1 && host.back() == '/')
        host.pop_back();
#endif
    return host;
}

struct Browser : Form {
    Browser() : Form("Browser")
    {
        SetCaption(S(u8"インストール先の選択"));
        ok.SetCaption("OK");
        ok.ModalResult = mrOk;
        ok.SetDefault(true);
        drive.SetCaption(S(u8"ドライブ(&D)"));
        drive.SetDirList(&list);
        list.OnChange = [this](Control&) { moves.push_back(list.Directory()); };
    }
    Button& ok = Add<Button>("ok");
    DirectoryList& list = Add<DirectoryList>("Directory");
    DriveCombo& drive = Add<DriveCombo>("Drive");
    StringList moves;
};

class ConsoleBrowsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::ForceDirectories(tree / "Games"));
        ASSERT_TRUE(platform::ForceDirectories(tree / "alpha"));
        ASSERT_TRUE(platform::ChangeDirectory(tree.Path()));
    }
    TempDir tree;
    CurrentDirectoryGuard cwd;
    AnsiString dir = NoSlash(tree.Path());
};

TEST_F(ConsoleBrowsing, RendersTheDirectoryListAndTheDriveList)
{
    Console console({});
    Browser b;
    std::string expected = "インストール先の選択\n[1] OK\n[2] Directory: " + Shown(dir) + "\n";
    // The root as the host directory it stands for, then one line per
    // component, two spaces deeper each.
    expected += "    [2.1] " + Shown(dir.substr(0, 3)) + "\n";
    int level = 0;
    size_t start = 3;
    while (start < dir.size()) {
        size_t end = dir.find('\\', start);
        if (end == std::string::npos)
            end = dir.size();
        ++level;
        expected += std::string(4 + 2 * static_cast<size_t>(level), ' ') + "[2." + std::to_string(level + 1) + "] " +
                    dir.substr(start, end - start) + "\n";
        start = end + 1;
    }
    std::string sub(4 + 2 * static_cast<size_t>(level + 1), ' ');
    expected += sub + "[2." + std::to_string(level + 2) + "] alpha\n";
    expected += sub + "[2." + std::to_string(level + 3) + "] Games\n";
    // The drive list: the place that holds the directory, then every place
    // (Windows: the drives; POSIX: the home, the root, the media).
    const StringList& places = b.drive.Places();
    int here = b.drive.PlaceIndex();
    ASSERT_GE(here, 0);
    auto text = [](const AnsiString& place) {
#ifdef _WIN32
        return place.substr(0, 2);
#else
        return Shown(place);
#endif
    };
    expected += "[3] ドライブ(D): " + text(places[static_cast<size_t>(here)]) + "\n";
    for (size_t k = 0; k < places.size(); ++k)
        expected += std::string(static_cast<int>(k) == here ? "  > " : "    ") + std::to_string(k + 1) + ". " + text(places[k]) + "\n";
    EXPECT_EQ(ConsoleBackend::Render(b), expected);
}

TEST_F(ConsoleBrowsing, PathsEntriesAndDrivesFromInput)
{
    Browser probe;
    int self = probe.list.ItemIndex() + 1; // K of the directory's own entry
    char here = dir[0];
    char other = here == 'C' ? 'Z' : 'C';
    ASSERT_GE(probe.drive.PlaceOfDrive(other), 0);
    char missing = 0;
    for (char c = 'Y'; c > 'A' && !missing; --c)
        if (platform::DriveLetters().find(c) == std::string::npos)
            missing = c;
    AnsiString otherDir = platform::DriveCurrentDirectory(other);

    Console console({ "2=" + platform::DisplayPath(tree / "Games"), // a host path
                      "2." + std::to_string(self),                  // up to the parent (the temporary directory)
                      "2." + std::to_string(self + 1),              // its first subdirectory
                      "2=../Games",                                 // relative to the list's directory
                      "2=" + AnsiToHostUtf8(tree / "alpha"),        // a drive path
                      "2=nosuch", "",                               // an error box, answered
                      "2.99",                                       // no such entry
                      "3=" + std::string(1, other),                 // the other drive
                      "3=" + std::string(1, static_cast<char>(here | 0x20)) + ":", // back, as "c:"
                      "3=" + std::string(1, missing), "3", "2", "" });
    Browser b;
    EXPECT_EQ(b.ShowModal(), mrOk);
    EXPECT_EQ(b.moves, (StringList{ tree / "Games", dir, tree / "alpha", tree / "Games", tree / "alpha", otherDir, tree / "alpha" }));
    EXPECT_EQ(b.drive.Drive(), here);
    // The directory that is not there, entry 99, the missing drive, and the two
    // lines that name no choice at all.
    EXPECT_EQ(Count(console.output, "?\n"), 5u) << console.output;
    EXPECT_NE(console.output.find("[3] ドライブ(D): " + b.drive.PlaceText(b.drive.PlaceOfDrive(other)) + "\n"), std::string::npos);
}

} // namespace

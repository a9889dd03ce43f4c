#include <deque>

#include "base/codepage.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/console/console_backend.h"
#include "ui/message_dialog.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::S;

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

} // namespace

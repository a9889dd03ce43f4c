#include "ui_win32/win32_support.h"

#include "base/path.h"
#include "platform/platform.h"
#include "support/surface_pixels.h"
#include "ui/directory_list.h"
#include "ui/grad_box.h"
#include "ui/message_dialog.h"
#include "ui/paint_box.h"

using namespace tarn;
using namespace tarn::ui;
using namespace tarn::test;

namespace {

void Place(Control& c, int left, int top, int width, int height, const char8_t* caption)
{
    c.SetBounds(left, top, width, height);
    c.SetCaption(S(caption));
}

struct Sample : Form {
    explicit Sample(const char8_t* title) : Form("Sample")
    {
        SetCaption(S(title));
        SetClientSize(300, 200);
        SetFont({ S(u8"ＭＳ Ｐゴシック"), 12, clBlack });
        Place(ok, 120, 168, 75, 25, u8"OK");
        ok.ModalResult = mrOk;
        ok.SetDefault(true);
        Place(no, 210, 168, 75, 25, u8"いいえ(&N)");
        no.ModalResult = mrNo;
        // The backdrop's label: white on black, right-aligned, a font of its own.
        label.SetAutoSize(false);
        Place(label, 0, 0, 300, 16, u8"ゲーム ");
        label.SetColor(clBlack);
        label.SetFont({ S(u8"ＭＳ Ｐゴシック"), 14, clWhite });
        label.SetAlignment(Alignment::Right);
        Place(check, 10, 24, 140, 17, u8"サウンド(&S)");
        check.SetChecked(true);
        edit.SetBounds(10, 66, 200, 20);
        edit.SetText(S(u8"C:\\ゲーム"));
        list.SetBounds(10, 92, 120, 60);
        list.SetItems({ S(u8"一つ目"), S(u8"二つ目") });
        list.SetItemIndex(1);
    }
    Button& ok = Add<Button>("ok");
    Button& no = Add<Button>("no");
    Label& label = Add<Label>("label");
    CheckBox& check = Add<CheckBox>("check");
    Edit& edit = Add<Edit>("edit");
    ListBox& list = Add<ListBox>("list");
};

HWND W(const Control& c) { return Win32().WindowOf(c); }
LONG_PTR StyleOf(HWND w) { return GetWindowLongPtrW(w, GWL_STYLE); }

bool ClassIs(HWND w, const wchar_t* name)
{
    wchar_t buf[64] = {};
    GetClassNameW(w, buf, 64);
    return lstrcmpiW(buf, name) == 0;
}

TEST(Win32Backend, TheWindowsAreTheModelAndFollowIt)
{
    TARN_REQUIRE_DESKTOP();
    Sample f(u8"木の形");
    Label& sized = f.Add<Label>("sized");
    Place(sized, 160, 30, 0, 12, u8"インストール先を選択してください");
    f.Show();
    HWND frame = Win32().WindowOf(f);
    ASSERT_TRUE(frame);
    EXPECT_EQ(TextOf(frame), u"木の形");
    RECT client, outer;
    GetClientRect(frame, &client);
    EXPECT_TRUE(client.right == 300 && client.bottom == 200);
    EXPECT_FALSE(StyleOf(frame) & WS_THICKFRAME);
    GetWindowRect(frame, &outer);
    EXPECT_NEAR(outer.left + outer.right, Win32().DesktopWidth(), 2) << "centred";

    struct Expect {
        Control& control;
        const wchar_t* cls;
        std::u16string text;
    } expected[] = { { f.ok, L"Button", u"OK" },     { f.no, L"Button", u"いいえ(&N)" },     { f.label, L"Static", u"ゲーム " },
                     { f.check, L"Button", u"サウンド(&S)" }, { f.edit, L"Edit", u"C:\\ゲーム" }, { f.list, L"ListBox", u"" } };
    for (const Expect& e : expected) {
        const Control& c = e.control;
        HWND w = W(c);
        ASSERT_TRUE(w) << c.Name();
        EXPECT_TRUE(ClassIs(w, e.cls)) << c.Name();
        EXPECT_EQ(TextOf(w), e.text) << c.Name();
        EXPECT_TRUE(PlacedAt(frame, w, c.Left(), c.Top(), c.Width(), c.Height())) << c.Name();
        // The form's font, or the label's own: a Shift-JIS face by name.
        LOGFONTW lf = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET) << c.Name();
        EXPECT_EQ(lf.lfHeight, &c == &f.label ? -14 : -12) << c.Name();
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(lf.lfFaceName)), u"ＭＳ Ｐゴシック") << c.Name();
    }
    EXPECT_EQ(StyleOf(W(f.ok)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(StyleOf(W(f.no)) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(StyleOf(W(f.label)) & SS_TYPEMASK, SS_RIGHT);
    EXPECT_EQ(SendMessageW(W(f.check), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(W(f.list), LB_GETCURSEL, 0, 0), 1);
    // An auto-sized label takes its text's size.
    RECT r;
    GetWindowRect(W(sized), &r);
    EXPECT_GT(r.right - r.left, 16 * 8);
    // White text on the label's black, right-aligned.
    TDIBSurface shot;
    ASSERT_TRUE(Win32().Grab(f, shot));
    EXPECT_EQ(shot.Canvas().Pixel(2, 2), clBlack);
    std::vector<uint32_t> row = Pixels(shot);
    EXPECT_NE(std::find(row.begin() + 8 * 300 + 200, row.begin() + 9 * 300, 0xFFFFFFu), row.begin() + 9 * 300);

    f.SetCaption(S(u8"変わった題"));
    f.no.SetBounds(30, 170, 80, 22);
    f.no.SetEnabled(false);
    f.check.SetVisible(false);
    f.no.SetDefault(true);
    f.ok.SetDefault(false);
    f.list.SetItems({ S(u8"ひとつ") });
    EXPECT_EQ(TextOf(frame), u"変わった題");
    EXPECT_TRUE(PlacedAt(frame, W(f.no), 30, 170, 80, 22));
    EXPECT_FALSE(IsWindowEnabled(W(f.no)));
    EXPECT_FALSE(IsWindowVisible(W(f.check)));
    EXPECT_EQ(StyleOf(W(f.no)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(StyleOf(W(f.ok)) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(SendMessageW(W(f.list), LB_GETCOUNT, 0, 0), 1);
    // Text typed into the edit reaches the model as a person's.
    SetWindowTextW(W(f.edit), L"C:\\新しい");
    EXPECT_EQ(f.edit.Text(), S(u8"C:\\新しい"));
    f.Hide();
    EXPECT_FALSE(IsWindow(frame));
}

TEST(Win32Backend, AModalChildEndsWithItsButtonAndDisablesItsOwnerMeanwhile)
{
    TARN_REQUIRE_DESKTOP();
    Watchdog dog;
    Sample owner(u8"持ち主");
    int ownerClicks = 0;
    owner.no.ModalResult = 0;
    owner.no.OnClick = [&](Control&) { ++ownerClicks; };
    owner.Show();
    HWND ownerFrame = Win32().WindowOf(owner);
    Sample child(u8"子の窓");
    child.SetOwner(&owner);
    bool ownerDisabled = false, owned = false;
    Later(50, [&] {
        ownerDisabled = !IsWindowEnabled(ownerFrame);
        owned = GetWindow(Win32().WindowOf(child), GW_OWNER) == ownerFrame;
        PostClick(W(owner.no)); // refused, as the disabled frame refuses input
        PostClick(W(child.no));
    });
    EXPECT_EQ(child.ShowModal(), mrNo);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(owned);
    EXPECT_TRUE(IsWindowEnabled(ownerFrame));
    EXPECT_EQ(ownerClicks, 0);
    EXPECT_FALSE(Win32().WindowOf(child));
    // With the child gone the same click arrives, handled by ProcessMessages
    // without waiting.
    PostClick(W(owner.no));
    App().ProcessMessages();
    EXPECT_EQ(ownerClicks, 1);
    owner.Hide();
}

TEST(Win32Backend, TheCloseBoxAsksTheCloseQuery)
{
    TARN_REQUIRE_DESKTOP();
    Watchdog dog;
    Sample f(u8"閉じる前に");
    int asked = 0;
    bool stillShown = false;
    f.OnCloseQuery = [&] { return ++asked == 2; };
    Later(50, [&] { PostMessageW(Win32().WindowOf(f), WM_CLOSE, 0, 0); });
    Later(100, [&] {
        stillShown = IsWindowVisible(Win32().WindowOf(f));
        PostMessageW(Win32().WindowOf(f), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(f.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(stillShown);
    // A modeless form goes away from inside its own close message.
    f.OnCloseQuery = nullptr;
    f.Show();
    HWND frame = Win32().WindowOf(f);
    PostMessageW(frame, WM_CLOSE, 0, 0);
    App().ProcessMessages();
    EXPECT_FALSE(f.IsShown());
    EXPECT_FALSE(IsWindow(frame));
}

TEST(Win32Backend, EnterAndMnemonicsPressTheirButtons)
{
    TARN_REQUIRE_DESKTOP();
    Watchdog dog;
    struct Keys {
        std::function<void(Sample&)> press;
        int result;
    } cases[] = {
        // Enter: the default button, also from inside an edit.
        { [](Sample& f) {
             SetFocus(W(f.edit));
             PostKey(W(f.edit), VK_RETURN);
         },
          mrOk },
        // Alt and the letter.
        { [](Sample& f) { PostMessageW(W(f.ok), WM_SYSCHAR, 'n', 0x20000001); }, mrNo },
        // The letter alone where the focus takes no characters.
        { [](Sample& f) {
             SetFocus(W(f.ok));
             PostMessageW(W(f.ok), WM_CHAR, 'N', 1);
         },
          mrNo },
    };
    for (const Keys& k : cases) {
        Sample f(u8"キー");
        Later(50, [&] { k.press(f); });
        EXPECT_EQ(f.ShowModal(), k.result);
    }
}

TEST(Win32Backend, MessageBoxesShowTheModelsTitleTextAndButtons)
{
    TARN_REQUIRE_DESKTOP();
    Watchdog dog;
    struct Kind {
        MsgType type;
        int buttons;
        std::u16string title, press;
        int result;
    } kinds[] = { { MsgType::Warning, mbOK, u"警告", u"OK", mrOk },
                  { MsgType::Error, mbOK, u"エラー", u"OK", mrOk },
                  { MsgType::Information, mbOK, u"情報", u"OK", mrOk },
                  { MsgType::Confirmation, mbYes | mbNo, u"確認", u"いいえ(&N)", mrNo } };
    for (const Kind& k : kinds) {
        bool shown = false;
        Later(50, [&] {
            HWND box = FindWindowWithText(nullptr, k.title);
            shown = box && FindWindowWithText(box, u"本文です") &&
                    (k.buttons == mbOK || FindWindowWithText(box, u"はい(&Y)"));
            PostClick(FindWindowWithText(box, k.press));
        });
        EXPECT_EQ(MessageDlg(S(u8"本文です"), k.type, k.buttons), k.result);
        EXPECT_TRUE(shown) << Utf16ToUtf8(k.title);
    }
}

TEST(Win32Backend, ControlsAddedToAShownFormGetTheirWindows)
{
    TARN_REQUIRE_DESKTOP();
    Sample f(u8"後から足す");
    f.Show();
    HWND frame = Win32().WindowOf(f);
    Button& late = f.Add<Button>("late");
    Place(late, 30, 120, 75, 25, u8"あとで");
    int clicks = 0;
    late.OnClick = [&](Control&) { ++clicks; };
    ASSERT_TRUE(W(late));
    EXPECT_TRUE(PlacedAt(frame, W(late), 30, 120, 75, 25));
    EXPECT_TRUE(IsWindowVisible(W(late)));
    PostClick(W(late));
    App().ProcessMessages();
    EXPECT_EQ(clicks, 1);
    // On pages added later too, one page showing at a time.
    PageControl& pages = f.Add<PageControl>("pages");
    pages.SetBounds(150, 90, 140, 60);
    Label& first = f.Add<Label>("first", &pages.AddPage("p1"));
    first.SetAutoSize(false);
    first.SetBounds(4, 6, 80, 14);
    Label& second = f.Add<Label>("second", &pages.AddPage("p2"));
    ASSERT_TRUE(W(first) && W(second));
    EXPECT_EQ(GetParent(GetParent(W(first))), W(pages));
    EXPECT_TRUE(PlacedAt(frame, W(first), 154, 96, 80, 14));
    EXPECT_TRUE(IsWindowVisible(W(first)) && !IsWindowVisible(W(second)));
    pages.SetActivePageIndex(1);
    EXPECT_TRUE(!IsWindowVisible(W(first)) && IsWindowVisible(W(second)));
    f.Hide();
}

TEST(Win32Backend, ProgressCountsBeyondTheRangeOfInt)
{
    TARN_REQUIRE_DESKTOP();
    Form f("Copy");
    f.SetClientSize(200, 40);
    ProgressBar& bar = f.Add<ProgressBar>("bar");
    bar.SetBounds(10, 10, 180, 16);
    bar.SetRange(0, 6'000'000'000LL);
    bar.SetPosition(4'500'000'000LL);
    f.Show();
    HWND p = W(bar);
    EXPECT_TRUE(ClassIs(p, PROGRESS_CLASSW));
    EXPECT_EQ(SendMessageW(p, PBM_GETRANGE, FALSE, 0), 10000);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 7500);
    bar.SetRange(3'000'000'000LL, 3'000'000'100LL);
    bar.SetPosition(3'000'000'025LL);
    EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 2500);
    f.Hide();
}

// What a graphic control shows on screen, and what the model draws over
// the form's colour.
std::vector<uint32_t> OnScreen(const TDIBSurface& shot, const Control& c)
{
    TDIBSurface part;
    part.Resize(c.Width(), c.Height(), 24);
    part.BlitRect(0, 0, Rect(c.Left(), c.Top(), c.Left() + c.Width(), c.Top() + c.Height()), shot);
    return Pixels(part);
}

std::vector<uint32_t> Drawn(Control& c)
{
    TDIBSurface s;
    s.Resize(c.Width(), c.Height(), 24);
    s.Canvas().Brush.Color = GetSysColor(COLOR_BTNFACE);
    s.Canvas().FillRect(s.FullRect());
    if (c.Kind() == ControlKind::PaintBox)
        static_cast<PaintBox&>(c).PaintTo(s);
    else
        static_cast<GradientBox&>(c).PaintTo(s);
    return Pixels(s);
}

TEST(Win32Backend, GraphicControlsOnScreenAreTheirSurfaces)
{
    TARN_REQUIRE_DESKTOP();
    Form f("Pictures");
    f.SetClientSize(220, 120);
    // 24 bits at the top left, every pixel different.
    auto fill = [](TDIBSurface& s, int width, int height, int depth) {
        s.Resize(width, height, depth);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                s.SetPixel(x, y, static_cast<uint32_t>(x * 6 | (y * 8) << 8 | ((x + y) * 3) << 16) & (depth == 8 ? 0xFF : 0xFFFFFF));
    };
    PaintBox& direct = f.Add<PaintBox>("direct");
    direct.SetBounds(10, 10, 40, 30);
    fill(direct.Bitmap(), 40, 30, 24);
    // 8 bits through the palette, centred and cut off at the sides.
    PaintBox& centred = f.Add<PaintBox>("centred");
    centred.SetBounds(60, 10, 30, 20);
    centred.SetCenter(true);
    fill(centred.Bitmap(), 40, 10, 8);
    for (int i = 0; i < 256; ++i)
        centred.Bitmap().ColorTable[static_cast<size_t>(i)] = { static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0 };
    centred.Bitmap().ApplyColorTable();
    GradientBox& grad = f.Add<GradientBox>("grad");
    grad.SetBounds(100, 10, 110, 100);
    grad.Box.SetGradStep(16);
    f.Show();
    TDIBSurface shot;
    ASSERT_TRUE(Win32().Grab(f, shot));
    for (Control* c : { static_cast<Control*>(&direct), static_cast<Control*>(&centred), static_cast<Control*>(&grad) })
        EXPECT_EQ(OnScreen(shot, *c), Drawn(*c)) << c->Name();
    // A changed picture reaches the screen; a grab saved as a bitmap file
    // holds the same pixels.
    direct.Bitmap().FillValue(direct.Bitmap().FullRect(), 0x00FF00);
    direct.Invalidate();
    TempDir dir;
    ASSERT_TRUE(Win32().Grab(f, dir / "grab.bmp"));
    shot.LoadFile(dir / "grab.bmp");
    EXPECT_EQ(OnScreen(shot, direct), Drawn(direct));
    f.Hide();
}

struct Browser : Form {
    Browser() : Form("Browser")
    {
        SetCaption(S(u8"フォルダの一覧"));
        SetClientSize(270, 200);
        list.SetBounds(16, 8, 237, 150);
        drive.SetBounds(16, 168, 237, 20);
        drive.SetDirList(&list);
    }
    DirectoryList& list = Add<DirectoryList>("Directory");
    DriveCombo& drive = Add<DriveCombo>("Drive");
};

class Win32Browsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        TARN_REQUIRE_DESKTOP();
        for (const char* name : { "Games", "alpha", "Games\\deeper" })
            ASSERT_TRUE(platform::ForceDirectories(tree / name));
        ASSERT_TRUE(platform::ChangeDirectory(tree.Path()));
        b = std::make_unique<Browser>();
        b->Show();
    }
    // The rows say what the model says, the directory's own row selected.
    void ExpectRows()
    {
        HWND rows = W(b->list);
        ASSERT_EQ(SendMessageW(rows, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(b->list.Items().size()));
        for (size_t i = 0; i < b->list.Items().size(); ++i) {
            wchar_t text[512] = {};
            SendMessageW(rows, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), U16(b->list.Items()[i].Text)) << i;
        }
        EXPECT_EQ(SendMessageW(rows, LB_GETCURSEL, 0, 0), b->list.ItemIndex());
    }
    void ClickRow(int row, bool twice = false)
    {
        HWND rows = W(b->list);
        RECT r;
        SendMessageW(rows, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        for (int i = 0; i < (twice ? 2 : 1); ++i) {
            PostMessageW(rows, i ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(rows, WM_LBUTTONUP, 0, at);
        }
        App().ProcessMessages();
    }
    // A drive chosen by the keys with the list closed: the last step of a
    // walk from its neighbour.
    void ChooseDrive(char letter)
    {
        HWND combo = W(b->drive);
        int to = static_cast<int>(b->drive.Drives().find(letter)), from = to > 0 ? to - 1 : to + 1;
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(from), 0);
        SetFocus(combo);
        PostKey(combo, to > from ? VK_DOWN : VK_UP);
        App().ProcessMessages();
    }
    TempDir tree;
    CurrentDirectoryGuard cwd;
    // Made in the tree: the list starts at the current directory.
    std::unique_ptr<Browser> b;
};

TEST_F(Win32Browsing, TheDirectoryListShowsTheModelAndClicksOpenFolders)
{
    HWND rows = W(b->list);
    EXPECT_TRUE(PlacedAt(Win32().WindowOf(*b), rows, 16, 8, 237, 150));
    EXPECT_EQ(SendMessageW(rows, LB_GETITEMHEIGHT, 0, 0), 16);
    ExpectRows();
    int self = b->list.ItemIndex();
    // A double click on Games (after alpha) opens Games, and only Games: its
    // second click lands on the row that now holds Games's own "deeper".
    ClickRow(self + 2, true);
    EXPECT_EQ(b->list.Directory(), tree / "Games");
    ExpectRows();
    // Arrows only move the highlight; Enter opens the highlighted folder.
    SetFocus(rows);
    PostKey(rows, VK_DOWN);
    App().ProcessMessages();
    EXPECT_EQ(b->list.Directory(), tree / "Games");
    PostKey(rows, VK_RETURN);
    App().ProcessMessages();
    EXPECT_EQ(b->list.Directory(), tree / "Games\\deeper");
    ClickRow(self);
    EXPECT_EQ(AddBackslash(b->list.Directory()), tree.Path());
    ExpectRows();
}

TEST_F(Win32Browsing, TheDriveListShowsTheModelAndRevertsARefusedChoice)
{
    Watchdog dog;
    HWND combo = W(b->drive);
    EXPECT_TRUE(PlacedAt(Win32().WindowOf(*b), combo, 16, 168, 237, 20));
    EXPECT_EQ(StyleOf(combo) & 3, CBS_DROPDOWNLIST);
    const std::string& letters = b->drive.Drives();
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(letters.size()));
    for (size_t i = 0; i < letters.size(); ++i) {
        wchar_t text[64] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), U16(b->drive.DriveText(letters[i])));
    }
    char here = b->drive.Drive(), other = here == 'Z' ? 'C' : 'Z';
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), static_cast<LRESULT>(letters.find(here)));
    ChooseDrive(other);
    EXPECT_EQ(b->drive.Drive(), other);
    EXPECT_EQ(b->list.Directory()[0], other);
    ExpectRows();

    // Back to a drive whose current directory has gone: the error is shown,
    // the model stays, and so does the drive list on screen.
    AnsiString gone = tree / "alpha";
    ASSERT_TRUE(platform::ChangeDirectory(gone));
    ASSERT_TRUE(platform::ChangeDirectory(b->list.Directory()));
    RemoveTree(gone);
    bool errorShown = false;
    Later(50, [&] {
        HWND box = FindWindowWithText(nullptr, u"エラー");
        errorShown = box != nullptr;
        PostClick(FindWindowWithText(box, u"OK"));
    });
    ChooseDrive(here);
    EXPECT_TRUE(errorShown);
    EXPECT_EQ(b->drive.Drive(), other);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), static_cast<LRESULT>(letters.find(other)));
}

} // namespace

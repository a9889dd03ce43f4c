// What only the Win32 backend has: the system's own control classes, styles
// and fonts, the dialog keys, and graphic controls drawn by the windows
// that hold them. What every backend does is in the conformance cases.
#include "ui_win32/win32_support.h"

#include "support/surface_pixels.h"
#include "ui/directory_list.h"
#include "ui/grad_box.h"
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

TEST(Win32Backend, ControlsAreTheSystemsOwnWithAShiftJisFont)
{
    TARN_REQUIRE_DESKTOP();
    Sample f(u8"木の形");
    Label& sized = f.Add<Label>("sized");
    Place(sized, 160, 30, 0, 12, u8"インストール先を選択してください");
    DriveCombo& drive = f.Add<DriveCombo>("drive");
    drive.SetBounds(150, 92, 140, 20);
    f.Show();
    HWND frame = Win32().WindowOf(f);
    ASSERT_TRUE(frame);
    EXPECT_FALSE(StyleOf(frame) & WS_THICKFRAME);
    struct Expect {
        Control& control;
        const wchar_t* cls;
    } expected[] = { { f.ok, L"Button" }, { f.no, L"Button" }, { f.label, L"Static" }, { f.check, L"Button" },
                     { f.edit, L"Edit" }, { f.list, L"ListBox" }, { drive, L"ComboBox" } };
    for (const Expect& e : expected) {
        const Control& c = e.control;
        HWND w = W(c);
        ASSERT_TRUE(w) << c.Name();
        EXPECT_TRUE(ClassIs(w, e.cls)) << c.Name();
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
    EXPECT_EQ(StyleOf(W(drive)) & 3, CBS_DROPDOWNLIST);
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

    // The default button's style follows the model.
    f.no.SetDefault(true);
    f.ok.SetDefault(false);
    f.label.SetAlignment(Alignment::Center);
    EXPECT_EQ(StyleOf(W(f.no)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(StyleOf(W(f.ok)) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(StyleOf(W(f.label)) & SS_TYPEMASK, SS_CENTER);
    f.Hide();
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

} // namespace

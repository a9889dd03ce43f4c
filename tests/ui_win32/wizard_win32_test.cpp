// The wizard in real Win32 windows: a two-disc install clicked through page
// by page with posted clicks, each page's windows shown and placed as the
// model says.
#include "../wizard/wizard_fixture.h"
#include "ui_win32/win32_support.h"
#include "wizard/form_type.h"

using namespace tarn;
using namespace tarn::ui;
using namespace tarn::test;

namespace {

HWND W(const Control& c) { return Win32().WindowOf(c); }

// Only the active page and the controls the model shows are visible, each
// at the model's place (an auto-sized label at least at its position).
void ExpectPageAsTheModelSays(TFormType& w, int page)
{
    SCOPED_TRACE("page " + std::to_string(page));
    ASSERT_EQ(w.PageIndex(), page);
    HWND frame = Win32().WindowOf(w);
    EXPECT_EQ(TextOf(frame), U16(w.Caption()));
    for (Control* c : w.AllControls()) {
        HWND h = W(*c);
        bool shows = c->Kind() == ControlKind::Page ? static_cast<Page*>(c)->Index() == page : c->Showing();
        EXPECT_EQ(IsWindowVisible(h) != 0, shows) << c->Name();
        if (!shows || c->Kind() == ControlKind::Page)
            continue;
        bool autoSized = c->Kind() == ControlKind::Label && static_cast<Label*>(c)->AutoSize();
        RECT r;
        GetWindowRect(h, &r);
        EXPECT_TRUE(PlacedAt(frame, h, c->Left(), c->Top(), autoSized ? r.right - r.left : c->Width(),
                             autoSized ? r.bottom - r.top : c->Height()))
            << c->Name();
        if (c->Kind() == ControlKind::Button || c->Kind() == ControlKind::Label || c->Kind() == ControlKind::CheckBox ||
            c->Kind() == ControlKind::RadioButton) {
            EXPECT_EQ(TextOf(h), U16(c->Caption())) << c->Name();
        }
        EXPECT_EQ(IsWindowEnabled(h) != 0, c->Enabled()) << c->Name();
    }
}

// Tells each file the install run has copied.
struct CopyWatch : RunObserver {
    std::function<void()> Copied;
    void FileCopied(const AnsiString&, const AnsiString&, int64_t, CopyOutcome) override { Copied(); }
};

TEST(WizardInWin32, AnInstallIsClickedThroughPageByPage)
{
    TARN_REQUIRE_DESKTOP();
    Watchdog dog(60000);
    DiscContent one{ { { "game.exe", "MZ program" }, { "install.exe", "MZ installer" } }, { { "one.txt", "data" } } };
    DiscContent two{ { { "extra.exe", "MZ extra" } }, { { "two.txt", "data" } } };
    DiscSet set(S(u8"窓の中の二枚組"), { one, two });
    TProgramState state;
    set.LoadState(state, 0);
    TempDir dest;
    CurrentDirectoryGuard cwd;
    const AnsiString target = dest / "game";
    RunOptions quick;
    quick.Pauses = false;
    quick.Shortcuts = false;
    CopyWatch watch;
    TFormType w(state, quick, nullptr, &watch);
    ASSERT_EQ(w.Notebook.Left() + w.Notebook.Top(), 0) << "page controls are placed as if on the form";

    // What is clicked on each page, once it is up and no run is busy.
    std::vector<std::pair<int, std::function<void()>>> steps = {
        { pgMedia, [&] { PostClick(W(w.btnNext)); } },
        { pgFile, [&] { PostClick(W(w.btnBack)); } },
        { pgMedia, [&] { PostClick(W(w.btnNext)); } },
        { pgFile, [&] {
             // Left out and chosen again (every component starts chosen).
             PostClick(W(w.CheckData));
             PostClick(W(w.CheckData));
             PostClick(W(w.btnNext));
         } },
        { pgSelDir, [&] {
             std::u16string typed = U16(target);
             SetWindowTextW(W(w.EditDir), reinterpret_cast<const wchar_t*>(typed.c_str()));
             PostClick(W(w.btnNext));
         } },
        // The run happens inside this click; disc 2 lies beside disc 1.
        { pgConfirm, [&] { PostClick(W(w.btnNext)); } },
        { pgExit, [&] { PostClick(W(w.btnAbort)); } },
    };
    size_t next = 0;
    auto polling = std::make_shared<bool>(true); // the timers may outlive a failed test
    std::function<void()> poll = [&, polling] {
        if (!*polling)
            return;
        if (next < steps.size() && !w.RunInProgress() && w.PageIndex() == steps[next].first) {
            ExpectPageAsTheModelSays(w, steps[next].first);
            steps[next++].second();
        }
        if (next < steps.size())
            Later(30, poll);
    };
    Later(30, poll);
    bool copyPageSeen = false;
    watch.Copied = [&] {
        if (!copyPageSeen)
            ExpectPageAsTheModelSays(w, pgCopy);
        copyPageSeen = true;
    };
    EXPECT_EQ(w.ShowModal(), mrOk);
    *polling = false;
    EXPECT_EQ(next, steps.size());
    EXPECT_TRUE(copyPageSeen);
    EXPECT_TRUE(w.CheckData.Checked());
    EXPECT_EQ(w.EditDir.Text(), target);
    for (const char* f : { "game.exe", "extra.exe", "install.exe", "game.dat", "install.dat" })
        EXPECT_TRUE(platform::FileExists(AddBackslash(target) + f)) << f;
}

} // namespace

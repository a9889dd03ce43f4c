// The cases every backend passes, written once against its probe (probe.h).
// A test program includes this header in one file and instantiates the
// suite with its backends' probes:
//
//   INSTANTIATE_TEST_SUITE_P(Qt, BackendConformance, ::testing::Values(ProbeMaker{ "qt", [] { ... } }));
#pragma once

#include "base/path.h"
#include "conformance/probe.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/message_dialog.h"

namespace tarn::test {

using namespace tarn::ui;

class BackendConformance : public ::testing::TestWithParam<ProbeMaker> {
protected:
    void SetUp() override
    {
        probe = GetParam().make();
        if (!probe)
            GTEST_SKIP() << GetParam().name << " cannot run here";
    }
    void TearDown() override
    {
        if (probe) {
            EXPECT_EQ(probe->PendingSteps(), 0u) << "steps the case queued were never run";
        }
        probe.reset();
    }
    BackendProbe& P() { return *probe; }
    bool Has(Can what) const { return probe->Lacks(what).empty(); }
    std::unique_ptr<BackendProbe> probe;
};

// A case that needs what the backend lacks ends here, saying so.
#define TARN_NEEDS(what)                                                                              \
    do {                                                                                              \
        if (std::string lacks = probe->Lacks(what); !lacks.empty())                                   \
            GTEST_SKIP() << lacks;                                                                    \
    } while (0)

namespace conformance {

inline void Place(Control& c, int left, int top, int width, int height, const char8_t* caption)
{
    c.SetBounds(left, top, width, height);
    c.SetCaption(S(caption));
}

// One control of each everyday kind, with captions that have mnemonics.
struct Sample : Form {
    Sample() : Form("Sample")
    {
        SetCaption(S(u8"テスト"));
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
        Place(radioA, 10, 44, 60, 17, u8"A");
        Place(radioB, 80, 44, 60, 17, u8"B");
        radioA.SetChecked(true);
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
    RadioButton& radioA = Add<RadioButton>("radioA");
    RadioButton& radioB = Add<RadioButton>("radioB");
    Edit& edit = Add<Edit>("edit");
    ListBox& list = Add<ListBox>("list");
};

// Where a control lies in its form's client area by the model.
inline Box InForm(const Control& c)
{
    if (c.Kind() == ControlKind::Page)
        return InForm(static_cast<const Page&>(c).Owner()); // a page covers its page control
    Box box{ c.Left(), c.Top(), c.Width(), c.Height() };
    for (const Control* h = c.Holder(); h; h = h->Holder())
        if (h->Kind() != ControlKind::Page)
            box.left += h->Left(), box.top += h->Top();
    return box;
}

inline bool IsList(const Control& c) { return c.Kind() == ControlKind::ListBox || c.Kind() == ControlKind::DirectoryList; }

inline void ExpectRowsOf(BackendProbe& p, const Control& c)
{
    std::vector<AnsiString> texts;
    int selected = -1;
    if (c.Kind() == ControlKind::ListBox) {
        texts = static_cast<const ListBox&>(c).Items();
        selected = static_cast<const ListBox&>(c).ItemIndex();
    } else {
        for (const DirectoryList::Entry& e : static_cast<const DirectoryList&>(c).Items())
            texts.push_back(e.Text);
        selected = static_cast<const DirectoryList&>(c).ItemIndex();
    }
    Rows rows = p.ShownRows(c);
    EXPECT_EQ(rows.texts, texts) << c.Name();
    if (rows.selected) {
        EXPECT_EQ(*rows.selected, selected) << c.Name();
    }
    if (rows.rowHeight && c.Kind() == ControlKind::DirectoryList) {
        EXPECT_EQ(*rows.rowHeight, static_cast<const DirectoryList&>(c).ItemHeight);
    }
}

// Everything the backend shows of the form is what the model says.
inline void ExpectShowsModel(BackendProbe& p, const Form& f)
{
    bool placed = p.Lacks(Can::Place).empty();
    EXPECT_EQ(p.Title(f), f.Caption());
    if (placed) {
        Box client = p.Client(f), frame = p.Frame(f);
        EXPECT_EQ(client.width, f.ClientWidth());
        EXPECT_EQ(client.height, f.ClientHeight());
        // Centred on the desktop, up to the width of the frame's border.
        EXPECT_NEAR(2 * frame.left + frame.width, App().GetBackend().DesktopWidth(), frame.width - client.width + 2);
    }
    for (Control* c : f.AllControls()) {
        SCOPED_TRACE(c->Name());
        std::optional<Shown> shown = p.ShownControl(*c);
        if (!shown)
            continue;
        EXPECT_EQ(shown->visible, c->Showing());
        if (!c->Showing())
            continue;
        if (shown->text) {
            EXPECT_EQ(*shown->text, c->Kind() == ControlKind::Edit ? static_cast<Edit*>(c)->Text() : StripMnemonic(c->Caption()));
        }
        if (shown->enabled) {
            EXPECT_EQ(*shown->enabled, c->Enabled());
        }
        if (shown->checked) {
            EXPECT_EQ(*shown->checked, static_cast<CheckControl*>(c)->Checked());
        }
        if (IsList(*c))
            ExpectRowsOf(p, *c);
        if (placed && c->Kind() != ControlKind::PaintBox && c->Kind() != ControlKind::GradientBox) {
            Box at = p.Placed(*c), want = InForm(*c);
            // An auto-sized label takes its text's size.
            if (c->Kind() == ControlKind::Label && static_cast<Label*>(c)->AutoSize())
                at.width = want.width, at.height = want.height;
            EXPECT_EQ(at, want);
        }
    }
}

} // namespace conformance

using conformance::ExpectRowsOf;
using conformance::ExpectShowsModel;
using conformance::Sample;

TEST_P(BackendConformance, AClickEndsTheModalLoopAndTheWindowGoes)
{
    Sample f;
    bool hadWindow = false;
    P().Then([&](Form& waiting) {
        EXPECT_EQ(&waiting, &f);
        hadWindow = P().HasWindow(f);
        P().Click(f.no);
    });
    EXPECT_EQ(f.ShowModal(), mrNo);
    EXPECT_TRUE(hadWindow);
    EXPECT_FALSE(P().HasWindow(f));
}

TEST_P(BackendConformance, WindowsShowTheModelAndFollowIt)
{
    TARN_NEEDS(Can::Show);
    Sample f;
    P().Then([&](Form&) {
        ExpectShowsModel(P(), f);
        f.SetCaption(S(u8"変わった題"));
        f.no.SetBounds(30, 170, 80, 22);
        f.no.SetEnabled(false);
        f.check.SetVisible(false);
        f.radioB.SetChecked(true);
        f.edit.SetText(S(u8"D:\\ソフト"));
        f.list.SetItems({ S(u8"ひとつ") });
        f.list.SetItemIndex(0);
        f.label.SetCaption(S(u8"別の題 "));
    });
    P().Then([&](Form&) {
        EXPECT_FALSE(f.radioA.Checked());
        ExpectShowsModel(P(), f);
        P().Click(f.ok);
    });
    EXPECT_EQ(f.ShowModal(), mrOk);
}

TEST_P(BackendConformance, ClicksOnCheckBoxesAndRadioButtonsShowTheirModel)
{
    Sample f;
    int clicks = 0;
    f.check.OnClick = f.radioA.OnClick = f.radioB.OnClick = [&](Control&) { ++clicks; };
    P().Then([&](Form&) {
        P().Click(f.check);
        P().Click(f.radioA); // checked already: it stays so
    });
    P().Then([&](Form&) {
        EXPECT_FALSE(f.check.Checked());
        EXPECT_TRUE(f.radioA.Checked());
        if (Has(Can::Show))
            ExpectShowsModel(P(), f);
        P().Click(f.radioB);
    });
    P().Then([&](Form&) {
        EXPECT_TRUE(f.radioB.Checked());
        EXPECT_FALSE(f.radioA.Checked());
        if (Has(Can::Show))
            ExpectShowsModel(P(), f);
        P().Click(f.ok);
    });
    EXPECT_EQ(f.ShowModal(), mrOk);
    EXPECT_EQ(clicks, 3);
}

TEST_P(BackendConformance, TypedTextReachesTheModel)
{
    Sample f;
    int changes = 0;
    f.edit.OnChange = [&](Control&) { ++changes; };
    P().Then([&](Form&) { P().Type(f.edit, S(u8"C:\\新しい")); });
    P().Then([&](Form&) {
        EXPECT_EQ(f.edit.Text(), S(u8"C:\\新しい"));
        EXPECT_GE(changes, 1);
        if (Has(Can::Show)) {
            EXPECT_EQ(P().ShownControl(f.edit)->text, f.edit.Text());
        }
        P().Click(f.ok);
    });
    EXPECT_EQ(f.ShowModal(), mrOk);
}

TEST_P(BackendConformance, TheCloseBoxAsksTheCloseQueryEachTime)
{
    TARN_NEEDS(Can::CloseBox);
    Sample f;
    int asked = 0;
    f.OnCloseQuery = [&] { return ++asked == 2; };
    P().Then([&](Form&) { P().CloseBox(f); });
    P().Then([&](Form&) {
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(P().HasWindow(f));
        P().CloseBox(f);
    });
    EXPECT_EQ(f.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);

    // A form shown without waiting goes away by its close box too.
    f.OnCloseQuery = nullptr;
    int closed = 0;
    f.OnClosed = [&] { ++closed; };
    f.Show();
    P().CloseBox(f);
    P().Settle();
    EXPECT_FALSE(f.IsShown());
    EXPECT_FALSE(P().HasWindow(f));
    EXPECT_EQ(closed, 1);
}

TEST_P(BackendConformance, MessageBoxesAreFormsOfTheModel)
{
    struct Kind {
        MsgType type;
        int buttons;
        const char8_t* title;
        const char* press;
        int result;
    } kinds[] = { { MsgType::Warning, mbOK, u8"警告", "OK", mrOk },
                  { MsgType::Error, mbOK, u8"エラー", "OK", mrOk },
                  { MsgType::Information, mbOK, u8"情報", "OK", mrOk },
                  { MsgType::Confirmation, mbYes | mbNo, u8"確認", "No", mrNo } };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.press);
        P().Then([&](Form& box) {
            ASSERT_EQ(box.Name(), "MessageDlg");
            if (Has(Can::Show)) {
                EXPECT_EQ(P().Title(box), S(k.title));
                ExpectShowsModel(P(), box);
                EXPECT_EQ(P().ShownControl(*box.Find("Message"))->text, S(u8"本文です"));
            }
            P().Click(box.Get<Button>(k.press));
        });
        EXPECT_EQ(MessageDlg(S(u8"本文です"), k.type, k.buttons), k.result);
    }
}

TEST_P(BackendConformance, ControlsAddedToAShownFormAppear)
{
    Sample f;
    Button* late = nullptr;
    PageControl* pages = nullptr;
    Label *first = nullptr, *second = nullptr;
    int clicks = 0;
    P().Then([&](Form&) {
        late = &f.Add<Button>("late");
        conformance::Place(*late, 150, 92, 75, 25, u8"あとで");
        late->OnClick = [&](Control&) { ++clicks; };
        pages = &f.Add<PageControl>("pages");
        pages->SetBounds(150, 120, 140, 40);
        first = &f.Add<Label>("first", &pages->AddPage("p1"));
        first->SetAutoSize(false);
        conformance::Place(*first, 4, 6, 80, 14, u8"一枚目");
        second = &f.Add<Label>("second", &pages->AddPage("p2"));
        conformance::Place(*second, 4, 6, 80, 14, u8"二枚目");
    });
    P().Then([&](Form&) {
        if (Has(Can::Show))
            ExpectShowsModel(P(), f);
        if (Has(Can::Place)) {
            EXPECT_TRUE(P().HeldBy(*late, nullptr));
            EXPECT_TRUE(P().HeldBy(*pages->Pages()[0], pages));
            EXPECT_TRUE(P().HeldBy(*first, pages->Pages()[0]));
            EXPECT_TRUE(P().HeldBy(*second, pages->Pages()[1]));
        }
        P().Click(*late);
    });
    P().Then([&](Form&) {
        EXPECT_EQ(clicks, 1);
        pages->SetActivePageIndex(1);
    });
    P().Then([&](Form&) {
        EXPECT_FALSE(first->Showing());
        EXPECT_TRUE(second->Showing());
        if (Has(Can::Show))
            ExpectShowsModel(P(), f);
        P().Click(f.ok);
    });
    EXPECT_EQ(f.ShowModal(), mrOk);
}

TEST_P(BackendConformance, ProgressCountsBeyondTheRangeOfInt)
{
    TARN_NEEDS(Can::Show);
    Form f("Copy");
    f.SetClientSize(200, 80);
    ProgressBar& bar = f.Add<ProgressBar>("bar");
    bar.SetBounds(10, 10, 180, 16);
    bar.SetRange(0, 6'000'000'000LL);
    bar.SetPosition(4'500'000'000LL);
    Button& done = f.Add<Button>("done");
    conformance::Place(done, 60, 40, 75, 25, u8"OK");
    done.ModalResult = mrOk;
    double step = P().ProgressResolution();
    P().Then([&](Form&) {
        EXPECT_NEAR(P().ShownProgress(bar), 0.75, step);
        bar.SetPosition(6'000'000'000LL);
    });
    P().Then([&](Form&) {
        EXPECT_NEAR(P().ShownProgress(bar), 1.0, step);
        bar.SetRange(3'000'000'000LL, 3'000'000'100LL);
        bar.SetPosition(3'000'000'025LL);
    });
    P().Then([&](Form&) {
        EXPECT_NEAR(P().ShownProgress(bar), 0.25, step);
        P().Click(done);
    });
    EXPECT_EQ(f.ShowModal(), mrOk);
}

TEST_P(BackendConformance, ModalityHoldsForWhatAPersonDoesToOtherWindows)
{
    TARN_NEEDS(Can::SeparateWindows);
    Sample behind;
    int behindClicks = 0;
    behind.no.ModalResult = 0;
    behind.no.OnClick = [&](Control&) { ++behindClicks; };
    behind.Show();
    Sample front;
    P().Then([&](Form&) {
        P().Click(behind.no); // refused while the modal form runs
        P().Click(front.ok);
    });
    EXPECT_EQ(front.ShowModal(), mrOk);
    EXPECT_EQ(behindClicks, 0);
    // With the modal form gone the same click arrives.
    P().Click(behind.no);
    P().Settle();
    EXPECT_EQ(behindClicks, 1);
    behind.Hide();
}

TEST_P(BackendConformance, AnOwnedFormStandsInFrontOfItsOwnersWindow)
{
    TARN_NEEDS(Can::SeparateWindows);
    Sample owner;
    owner.Show();
    Sample child;
    child.SetOwner(&owner);
    bool owned = false;
    P().Then([&](Form&) {
        owned = P().OwnedBy(child, &owner);
        P().Click(child.ok);
    });
    EXPECT_EQ(child.ShowModal(), mrOk);
    EXPECT_TRUE(owned);

    // The owner may go first: the child stays until it is hidden itself,
    // then belonging to no window.
    child.Show();
    EXPECT_TRUE(P().OwnedBy(child, &owner));
    owner.Hide();
    EXPECT_TRUE(P().HasWindow(child));
    EXPECT_TRUE(P().OwnedBy(child, nullptr));
    child.Hide();
}

TEST_P(BackendConformance, AModalFormWithoutOwnerBelongsToTheModalFormItInterrupts)
{
    TARN_NEEDS(Can::SeparateWindows);
    Sample outer;
    bool owned = false;
    P().Then([&](Form&) {
        P().Then([&](Form& box) {
            owned = P().OwnedBy(box, &outer);
            P().Click(box.Get<Button>("OK"));
        });
        MessageDlg(S(u8"途中の知らせ"), MsgType::Information, mbOK);
        P().Click(outer.ok);
    });
    EXPECT_EQ(outer.ShowModal(), mrOk);
    EXPECT_TRUE(owned);
    // A form shown without waiting belongs to no modal form.
    Sample modeless;
    modeless.Show();
    EXPECT_TRUE(P().OwnedBy(modeless, nullptr));
    modeless.Hide();
}

TEST_P(BackendConformance, BringToFrontActivatesTheWindow)
{
    TARN_NEEDS(Can::SeparateWindows);
    Sample first, second;
    first.Show();
    second.Show();
    auto becomes = [&](const Form& f) {
        return WaitFor([&] {
            P().Settle();
            return P().IsActive(f);
        }, 2000);
    };
    ASSERT_TRUE(becomes(second));
    first.BringToFront();
    EXPECT_TRUE(becomes(first));
    second.Hide();
    first.Hide();
}

// The wizard's directory browser on a tree of its own.
struct Browser : Form {
    Browser() : Form("Browser")
    {
        SetCaption(S(u8"フォルダの一覧"));
        SetClientSize(270, 230);
        list.SetBounds(16, 8, 237, 150);
        drive.SetBounds(16, 168, 237, 20);
        drive.SetDirList(&list);
        conformance::Place(ok, 97, 198, 75, 25, u8"OK");
        ok.ModalResult = mrOk;
        list.OnChange = [this](Control&) { moves.push_back(list.Directory()); };
    }
    DirectoryList& list = Add<DirectoryList>("Directory");
    DriveCombo& drive = Add<DriveCombo>("Drive");
    Button& ok = Add<Button>("ok");
    StringList moves;
};

class BackendBrowsing : public BackendConformance {
protected:
    void SetUp() override
    {
        BackendConformance::SetUp();
        if (!probe)
            return;
        for (const char* name : { "Games", "alpha", "Games\\deeper" })
            ASSERT_TRUE(platform::ForceDirectories(tree / name));
        ASSERT_TRUE(platform::ChangeDirectory(tree.Path()));
    }
    AnsiString Root() const
    {
        AnsiString d = tree.Path();
        while (d.size() > 3 && d.back() == '\\')
            d.pop_back();
        return d;
    }
    TempDir tree;
    CurrentDirectoryGuard cwd;
};

TEST_P(BackendBrowsing, TheDirectoryListShowsTheModelAndClicksOpenFolders)
{
    Browser b;
    int self = b.list.ItemIndex();
    P().Then([&](Form&) {
        if (Has(Can::Show))
            ExpectRowsOf(P(), b.list);
        // A double click on Games (after alpha) opens Games, and only Games:
        // its second click lands on the row that now holds Games's "deeper".
        if (Has(Can::DoubleClick))
            P().DoubleClickRow(b.list, self + 2);
        else
            P().ClickRow(b.list, self + 2);
    });
    P().Then([&](Form&) {
        EXPECT_EQ(b.list.Directory(), tree / "Games");
        if (Has(Can::Show))
            ExpectRowsOf(P(), b.list);
        if (Has(Can::Highlight))
            P().HighlightNextRow(b.list);
        else
            P().ClickRow(b.list, b.list.ItemIndex() + 1);
    });
    if (Has(Can::Highlight))
        P().Then([&](Form&) {
            // Keys only move the highlight; Enter opens the highlighted folder.
            EXPECT_EQ(b.list.Directory(), tree / "Games");
            EXPECT_EQ(P().ShownRows(b.list).selected, b.list.ItemIndex() + 1);
            P().EnterOnHighlightedRow(b.list);
        });
    P().Then([&](Form&) {
        EXPECT_EQ(b.list.Directory(), tree / "Games\\deeper");
        P().ClickRow(b.list, self); // an ancestor
    });
    P().Then([&](Form&) {
        EXPECT_EQ(b.list.Directory(), Root());
        if (Has(Can::Show))
            ExpectRowsOf(P(), b.list);
        P().Click(b.ok);
    });
    EXPECT_EQ(b.ShowModal(), mrOk);
    EXPECT_EQ(b.moves, (StringList{ tree / "Games", tree / "Games\\deeper", Root() }));
}

TEST_P(BackendBrowsing, TheDriveListShowsTheModelAndARefusedChoiceDoesNotStay)
{
    Browser b;
    int here = b.drive.PlaceIndex(), other = b.drive.PlaceOfDrive(b.drive.Drive() == 'C' ? 'Z' : 'C');
    ASSERT_GE(here, 0);
    ASSERT_GE(other, 0);
    ASSERT_NE(other, here);
    char otherDrive = b.drive.Places()[static_cast<size_t>(other)][0];
    AnsiString gone = tree / "alpha";
    bool errorShown = false;
    P().Then([&](Form&) {
        if (Has(Can::Show)) {
            EXPECT_EQ(P().ShownDrive(b.drive), here);
            if (std::optional<std::vector<std::string>> shown = P().ShownDrives(b.drive)) {
                std::vector<std::string> texts;
                for (int k = 0; k < static_cast<int>(b.drive.Places().size()); ++k)
                    texts.push_back(b.drive.PlaceText(k));
                EXPECT_EQ(*shown, texts);
            }
        }
        P().ChooseDrive(b.drive, other);
    });
    P().Then([&](Form&) {
        EXPECT_EQ(b.drive.PlaceIndex(), other);
        EXPECT_EQ(b.list.Directory(), platform::DriveCurrentDirectory(otherDrive));
        if (Has(Can::Show)) {
            EXPECT_EQ(P().ShownDrive(b.drive), other);
            ExpectRowsOf(P(), b.list);
        }
        // Back to a drive whose current directory has gone: the error is
        // shown, and the model keeps its drive, on screen too.
        ASSERT_TRUE(platform::ChangeDirectory(gone));
        ASSERT_TRUE(platform::ChangeDirectory(b.list.Directory()));
        RemoveTree(gone);
        P().ChooseDrive(b.drive, here);
    });
    P().Then([&](Form& box) {
        errorShown = box.Caption() == S(u8"エラー");
        P().Click(box.Get<Button>("OK"));
    });
    P().Then([&](Form&) {
        EXPECT_EQ(b.drive.PlaceIndex(), other);
        if (Has(Can::Show)) {
            EXPECT_EQ(P().ShownDrive(b.drive), other);
        }
        P().Click(b.ok);
    });
    EXPECT_EQ(b.ShowModal(), mrOk);
    EXPECT_TRUE(errorShown);
}

} // namespace tarn::test

// Runs every case above once for each probe given (ProbeMaker values).
#define TARN_BACKEND_CONFORMANCE(prefix, ...)                                                         \
    INSTANTIATE_TEST_SUITE_P(prefix, BackendConformance, ::testing::Values(__VA_ARGS__),              \
                             [](const auto& info) { return info.param.name; });                      \
    INSTANTIATE_TEST_SUITE_P(prefix, BackendBrowsing, ::testing::Values(__VA_ARGS__),                 \
                             [](const auto& info) { return info.param.name; })

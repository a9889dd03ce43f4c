#include "base/codepage.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/message_dialog.h"
#include "ui/null_backend.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::S;

namespace {

class FormModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<NullBackend>();
        backend = b.get();
        App().SetBackend(std::move(b));
    }
    NullBackend* backend = nullptr;
};

struct TwoButtons : Form {
    TwoButtons() : Form("TwoButtons")
    {
        ok.ModalResult = mrOk;
        ok.SetDefault(true);
        other.OnClick = [this](Control&) { ++clicks; };
    }
    Button& ok = Add<Button>("ok");
    Button& other = Add<Button>("other");
    int clicks = 0;
};

TEST_F(FormModel, ModalLoopEndsWithTheButtonsResult)
{
    TwoButtons f;
    backend->Then([](Form& form) { ClickControl(form, "other"); });
    backend->Then([](Form& form) { ClickControl(form, "ok"); });
    EXPECT_EQ(f.ShowModal(), mrOk);
    EXPECT_EQ(f.clicks, 1);
    EXPECT_FALSE(f.IsShown());
    EXPECT_TRUE(backend->OpenForms().empty());
}

TEST_F(FormModel, AClientAlignedControlFillsItsPageNotTheForm)
{
    Form f("Pages");
    f.SetClientSize(400, 300);
    PageControl& pages = f.Add<PageControl>("pages");
    pages.SetBounds(0, 0, 383, 229);
    Page& first = pages.AddPage("first");
    Label& onPage = f.Add<Label>("onPage", &first);
    Label& onForm = f.Add<Label>("onForm");
    onPage.SetAlign(TAlign::alClient);
    onForm.SetAlign(TAlign::alClient);
    EXPECT_EQ(onPage.Width(), 383);
    EXPECT_EQ(onPage.Height(), 229);
    EXPECT_EQ(onForm.Width(), 400);
    EXPECT_EQ(onForm.Height(), 300);
    // Both follow their container.
    pages.SetBounds(0, 0, 200, 100);
    f.SetClientSize(600, 400);
    EXPECT_EQ(onPage.Width(), 200);
    EXPECT_EQ(onPage.Height(), 100);
    EXPECT_EQ(onForm.Width(), 600);
    EXPECT_EQ(onForm.Height(), 400);
}

TEST_F(FormModel, DisabledAndHiddenControlsIgnoreClicks)
{
    TwoButtons f;
    f.other.SetEnabled(false);
    f.ok.SetVisible(false);
    backend->Then([](Form& form) { ClickControl(form, "other"); });
    backend->Then([](Form& form) { ClickControl(form, "ok"); });
    // Nothing happened, then the script ends: the close box gives Cancel.
    EXPECT_EQ(f.ShowModal(), mrCancel);
    EXPECT_EQ(f.clicks, 0);
}

TEST_F(FormModel, CancelAsksTheCloseQueryOthersDoNot)
{
    TwoButtons f;
    int asked = 0;
    bool allow = false;
    f.OnCloseQuery = [&] { ++asked; return allow; };
    backend->Then([](Form& form) { form.CloseRequested(); }); // refused
    backend->Then([&](Form& form) { allow = true; form.CloseRequested(); });
    EXPECT_EQ(f.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
    backend->Then([](Form& form) { ClickControl(form, "ok"); });
    EXPECT_EQ(f.ShowModal(), mrOk);
    EXPECT_EQ(asked, 2);
}

TEST_F(FormModel, AFormThatNeverClosesEndsTheTestInsteadOfHanging)
{
    TwoButtons f;
    f.OnCloseQuery = [] { return false; };
    EXPECT_THROW(f.ShowModal(), std::logic_error);
}

TEST_F(FormModel, RadioButtonsOfOneContainerExcludeEachOther)
{
    Form f("Radios");
    PageControl& pc = f.Add<PageControl>("pc");
    Page& p0 = pc.AddPage("p0");
    Page& p1 = pc.AddPage("p1");
    RadioButton& a = f.Add<RadioButton>("a", &p0);
    RadioButton& b = f.Add<RadioButton>("b", &p0);
    RadioButton& c = f.Add<RadioButton>("c", &p1);
    c.SetChecked(true);
    a.SetChecked(true);
    b.Click(); // p0 is the active page
    EXPECT_FALSE(a.Checked());
    EXPECT_TRUE(b.Checked());
    EXPECT_TRUE(c.Checked()); // another container
    // Controls on an inactive page are not showing and take no clicks.
    EXPECT_FALSE(c.Showing());
    a.Click();
    EXPECT_TRUE(a.Checked());
    pc.SetActivePageIndex(1);
    a.Click();
    EXPECT_TRUE(a.Checked()); // no longer showing: unchanged
    EXPECT_TRUE(c.Showing());
}

TEST_F(FormModel, APageShowsWhenActiveAndWhatItHoldsWithIt)
{
    Form f("Pages");
    PageControl& outer = f.Add<PageControl>("outer");
    Page& p0 = outer.AddPage("p0");
    Page& p1 = outer.AddPage("p1");
    PageControl& inner = f.Add<PageControl>("inner", &p0);
    Page& q0 = inner.AddPage("q0");
    Label& deep = f.Add<Label>("deep", &q0);
    Label& onForm = f.Add<Label>("onForm");
    // Each control's widget lies in its holder's: pages in their page control.
    EXPECT_EQ(deep.Holder(), &q0);
    EXPECT_EQ(q0.Holder(), &inner);
    EXPECT_EQ(inner.Holder(), &p0);
    EXPECT_EQ(p0.Holder(), &outer);
    EXPECT_EQ(outer.Holder(), nullptr);
    EXPECT_EQ(onForm.Holder(), nullptr);
    EXPECT_TRUE(p0.VisibleInHolder());
    EXPECT_FALSE(p1.VisibleInHolder());
    EXPECT_TRUE(deep.Showing());
    // Another page of the outer control: the inner one keeps its own active
    // page, but nothing on p0 shows.
    outer.SetActivePageIndex(1);
    EXPECT_TRUE(q0.VisibleInHolder());
    EXPECT_FALSE(q0.Showing());
    EXPECT_FALSE(deep.Showing());
    EXPECT_TRUE(p1.Showing());
    // A hidden page shows not even as the active one.
    p1.SetVisible(false);
    EXPECT_FALSE(p1.VisibleInHolder());
    outer.SetActivePageIndex(0);
    EXPECT_TRUE(deep.Showing());
    outer.SetVisible(false);
    EXPECT_FALSE(deep.Showing());
    EXPECT_TRUE(onForm.Showing());
}

TEST_F(FormModel, AFormsWindowBelongsToItsOwnerOrToTheModalFormItInterrupts)
{
    TwoButtons outer, inner, owner, owned;
    owned.SetOwner(&owner);
    std::vector<std::vector<Form*>> stacks;
    backend->Then([&](Form&) {
        stacks.push_back(App().ModalForms());
        EXPECT_EQ(outer.WindowOwner(), nullptr);
        // The owner is not shown: the modal form below stands in for it.
        backend->Then([&](Form&) {
            stacks.push_back(App().ModalForms());
            EXPECT_EQ(owned.WindowOwner(), &outer);
            owner.Show();
            EXPECT_EQ(owned.WindowOwner(), &owner);
            owner.Hide();
            ClickControl(owned, "ok");
        });
        owned.ShowModal();
        backend->Then([&](Form&) {
            EXPECT_EQ(inner.WindowOwner(), &outer);
            ClickControl(inner, "ok");
        });
        inner.ShowModal();
        // A form shown without waiting belongs to no modal form.
        owner.Show();
        EXPECT_EQ(owner.WindowOwner(), nullptr);
        owner.Hide();
        ClickControl(outer, "ok");
    });
    outer.ShowModal();
    EXPECT_EQ(stacks, (std::vector<std::vector<Form*>>{ { &outer }, { &outer, &owned } }));
    EXPECT_TRUE(App().ModalForms().empty());
    EXPECT_EQ(owned.WindowOwner(), nullptr);
}

TEST_F(FormModel, EveryChoiceEndsWithAChangeNoticeTakenOrNot)
{
    Form f("Choices");
    CheckBox& box = f.Add<CheckBox>("box");
    RadioButton& radio = f.Add<RadioButton>("radio");
    Edit& edit = f.Add<Edit>("edit");
    ListBox& list = f.Add<ListBox>("list");
    list.SetItems({ "a", "b" });
    radio.SetChecked(true);
    edit.SetEnabled(false);
    box.SetVisible(false);
    std::vector<Control*> notices;
    f.OnModelChanged = [&](Control* c) { notices.push_back(c); };
    // A widget may have changed by itself (a radio button unchecked by its
    // click, a row highlighted, text typed): the backend shows the model
    // again, also when the choice changed nothing or was refused.
    radio.Click();
    list.UserSelect(5);
    edit.UserSetText("typed");
    box.Click();
    EXPECT_EQ(notices, (std::vector<Control*>{ &radio, &list, &edit, &box }));
    EXPECT_TRUE(radio.Checked());
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(edit.Text(), "");
    EXPECT_FALSE(box.Checked());
}

TEST_F(FormModel, CheckBoxesToggleAndReportClicks)
{
    Form f("Checks");
    CheckBox& box = f.Add<CheckBox>("box");
    int clicks = 0;
    box.OnClick = [&](Control&) { ++clicks; };
    box.Click();
    box.Click();
    box.SetChecked(true); // from the program: no event
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(clicks, 2);
}

TEST_F(FormModel, ErrorsInHandlersAreShownAndTheHandlerIsAbandoned)
{
    TwoButtons f;
    bool after = false;
    f.other.OnClick = [&](Control&) {
        throw Exception(u8"%s:ファイルがありません", { "title.gal" });
        after = true;
    };
    backend->Then([](Form& form) { ClickControl(form, "other"); });
    backend->Then([](Form& box) { AnswerMessage(box, mrOk); }); // the error box
    backend->Then([](Form& form) { ClickControl(form, "ok"); });
    EXPECT_EQ(f.ShowModal(), mrOk);
    EXPECT_FALSE(after);
    ASSERT_EQ(backend->Log.size(), 2u);
    EXPECT_EQ(backend->Log[1], S(u8"エラー: title.gal:ファイルがありません"));
}

TEST_F(FormModel, MessageDialogsHaveTheSystemsTitlesAndButtons)
{
    auto box = CreateMessageDialog(S(u8"インストールを中断しますか？"), MsgType::Confirmation, mbYes | mbNo);
    EXPECT_EQ(box->Caption(), S(u8"確認"));
    EXPECT_EQ(box->Get<Button>("Yes").Caption(), S(u8"はい(&Y)"));
    EXPECT_EQ(box->Get<Button>("No").Caption(), S(u8"いいえ(&N)"));
    EXPECT_TRUE(box->Get<Button>("Yes").Default());
    EXPECT_EQ(CreateMessageDialog("x", MsgType::Warning, mbOK)->Caption(), S(u8"警告"));
    EXPECT_EQ(CreateMessageDialog("x", MsgType::Information, mbOK)->Caption(), S(u8"情報"));
    auto all = CreateMessageDialog("x", MsgType::Error, mbOK | mbCancel | mbAbort);
    EXPECT_EQ(all->Caption(), S(u8"エラー"));
    EXPECT_EQ(all->Get<Button>("Cancel").Caption(), S(u8"キャンセル"));
    EXPECT_EQ(all->Get<Button>("Abort").Caption(), S(u8"中止(&A)"));
    EXPECT_EQ(all->Get<Button>("OK").Caption(), "OK");

    backend->Then([](Form& f) { AnswerMessage(f, mrNo); });
    EXPECT_EQ(MessageDlg("q", MsgType::Confirmation, mbYes | mbNo), mrNo);
    backend->Then([](Form& f) { f.CloseRequested(); });
    EXPECT_EQ(MessageDlg("q", MsgType::Confirmation, mbYes | mbNo), mrCancel);
}

TEST_F(FormModel, AnUnscriptedMessageBoxTakesTheSafeAnswer)
{
    // No, else Cancel, else Abort, else OK: never the answer that asks again.
    EXPECT_EQ(MessageDlg("q", MsgType::Confirmation, mbYes | mbNo), mrNo);
    EXPECT_EQ(MessageDlg("q", MsgType::Confirmation, mbYes | mbNo | mbCancel), mrNo);
    EXPECT_EQ(MessageDlg("q", MsgType::Warning, mbOK | mbCancel), mrCancel);
    EXPECT_EQ(MessageDlg("q", MsgType::Error, mbOK | mbAbort), mrAbort);
    EXPECT_EQ(MessageDlg("q", MsgType::Information, mbOK), mrOk);
    // A loop that asks until it is not told OK ends at its first question.
    int asked = 0;
    while (MessageDlg(S(u8"ディスク 2 を入れてください"), MsgType::Warning, mbOK | mbAbort) == mrOk && asked < 10)
        ++asked;
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(backend->Log.size(), 6u);
    EXPECT_EQ(backend->Log.back(), S(u8"警告: ディスク 2 を入れてください"));
    // Other forms still get the close box.
    TwoButtons f;
    EXPECT_EQ(f.ShowModal(), mrCancel);
    EXPECT_EQ(SafeAnswer(f), nullptr);
}

TEST_F(FormModel, BringingToFrontIsCountedForShownForms)
{
    TwoButtons f;
    f.BringToFront(); // not shown: nothing to bring
    backend->Then([](Form& form) {
        form.BringToFront();
        form.BringToFront();
        ClickControl(form, "ok");
    });
    f.ShowModal();
    EXPECT_EQ(backend->BroughtToFront["TwoButtons"], 2);
    EXPECT_EQ(backend->BroughtToFront.size(), 1u);
}

TEST_F(FormModel, ChangesReachTheBackendHook)
{
    TwoButtons f;
    std::vector<Control*> changed;
    f.OnModelChanged = [&](Control* c) { changed.push_back(c); };
    f.ok.SetCaption("OK!");
    f.ok.SetCaption("OK!"); // unchanged: no notice
    f.SetCaption("t");
    f.other.SetBounds(1, 2, 3, 4);
    EXPECT_EQ(changed, (std::vector<Control*>{ &f.ok, nullptr, &f.other }));
    // A control added later is a change too (a shown form needs it on screen),
    // and so is a page, once it knows its place among the pages.
    changed.clear();
    Button& late = f.Add<Button>("late");
    EXPECT_EQ(changed, (std::vector<Control*>{ &late }));
    PageControl& pages = f.Add<PageControl>("pages");
    changed.clear();
    pages.AddPage("first");
    EXPECT_EQ(changed, (std::vector<Control*>{ &pages }));
}

} // namespace

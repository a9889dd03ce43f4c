#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "base/codepage.h"
#include "base/path.h"
#include "platform/platform.h"
#include "support/qt_support.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "ui/directory_list.h"
#include "ui/message_dialog.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::ClickThroughWindow;
using tarn::test::CurrentDirectoryGuard;
using tarn::test::OffscreenQt;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

AnsiString NoSlashPath(AnsiString d)
{
    while (d.size() > 3 && d.back() == '\\')
        d.pop_back();
    return d;
}

// Runs fn once the modal loop is waiting.
void Later(int ms, std::function<void()> fn) { QTimer::singleShot(ms, [fn] { fn(); }); }

struct Dialog : Form {
    Dialog() : Form("Dialog")
    {
        SetCaption(S(u8"テスト"));
        SetClientSize(200, 100);
        SetFont({ S(u8"ＭＳ Ｐゴシック"), 12, clBlack });
        ok.SetBounds(10, 60, 75, 25);
        ok.SetCaption("OK");
        ok.ModalResult = mrOk;
        label.SetBounds(0, 0, 200, 20);
        label.SetAutoSize(false);
        label.SetColor(clBlack);
        label.SetFont({ S(u8"ＭＳ Ｐゴシック"), 12, clWhite });
        label.SetCaption(S(u8"ゲーム "));
        label.SetAlignment(Alignment::Right);
    }
    Button& ok = Add<Button>("ok");
    Label& label = Add<Label>("label");
};

TEST(QtBackend, TheJapaneseGothicIsInstalled)
{
    OffscreenQt();
    QFont f(QString::fromStdString(QtBackend::FamilyFor(S(u8"ＭＳ Ｐゴシック"))));
    EXPECT_EQ(QtBackend::FamilyFor(S(u8"ＭＳ Ｐゴシック")), "IPAPGothic");
    EXPECT_TRUE(QFontInfo(f).exactMatch()) << "fonts-ipafont-gothic is missing";
}

TEST(QtBackend, AClickThroughTheWindowEndsTheModalLoop)
{
    OffscreenQt();
    Dialog d;
    Later(50, [&] { ClickThroughWindow(d, d.ok); });
    EXPECT_EQ(d.ShowModal(), mrOk);
    EXPECT_FALSE(OffscreenQt().WindowOf(d));
}

TEST(QtBackend, ModalityHoldsForClicksAtWindowLevel)
{
    OffscreenQt();
    Dialog behind;
    int behindClicks = 0;
    behind.ok.ModalResult = 0;
    behind.ok.OnClick = [&](Control&) { ++behindClicks; };
    behind.Show();
    Dialog front;
    Later(50, [&] { ClickThroughWindow(behind, behind.ok); });
    Later(100, [&] { ClickThroughWindow(front, front.ok); });
    EXPECT_EQ(front.ShowModal(), mrOk);
    EXPECT_EQ(behindClicks, 0);
    // With the modal form gone the same click arrives.
    ClickThroughWindow(behind, behind.ok);
    QCoreApplication::processEvents();
    EXPECT_EQ(behindClicks, 1);
    behind.Hide();
}

TEST(QtBackend, CloseBoxAsksTheCloseQuery)
{
    OffscreenQt();
    Dialog d;
    int asked = 0;
    d.OnCloseQuery = [&] { return ++asked == 2; };
    Later(50, [&] { OffscreenQt().WindowOf(d)->close(); });
    Later(100, [&] { OffscreenQt().WindowOf(d)->close(); });
    EXPECT_EQ(d.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
}

TEST(QtBackend, WindowsShowTheModel)
{
    OffscreenQt();
    Dialog d;
    d.Show();
    QWidget* window = OffscreenQt().WindowOf(d);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("テスト"));
    EXPECT_EQ(window->size(), QSize(200, 100));
    // Centred on the desktop.
    EXPECT_EQ(window->x(), (OffscreenQt().DesktopWidth() - 200) / 2);
    d.ok.SetCaption(S(u8"閉じる(&C)"));
    d.ok.SetEnabled(false);
    EXPECT_FALSE(OffscreenQt().WidgetOf(d.ok)->isEnabled());
    QImage shot = window->grab().toImage();
    // The label's black background at its top right, left of the right-aligned text's blank.
    EXPECT_EQ(QColor(shot.pixel(198, 2)), QColor(0, 0, 0));
    std::string png = platform::DisplayPath(platform::TempDirectory() + "shot.png");
    EXPECT_TRUE(OffscreenQt().Grab(d, png));
    EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());
    d.Hide();
}

TEST(QtBackend, MessageBoxesAreFormsToo)
{
    OffscreenQt();
    Later(50, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == QString::fromUtf8("確認"))
                for (QObject* child : w->children())
                    if (auto* b = qobject_cast<QWidget*>(child); b && b->property("text").toString() == QString::fromUtf8("いいえ(&N)"))
                        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, Qt::NoModifier, b->geometry().center());
    });
    EXPECT_EQ(MessageDlg(S(u8"中断しますか？"), MsgType::Confirmation, mbYes | mbNo), mrNo);
}

TEST(QtBackend, ControlsAddedToAShownFormGetTheirWidgets)
{
    OffscreenQt();
    Dialog d;
    d.Show();
    QWidget* window = OffscreenQt().WindowOf(d);
    Button& late = d.Add<Button>("late");
    late.SetBounds(100, 60, 75, 25);
    late.SetCaption(S(u8"あとで"));
    int clicks = 0;
    late.OnClick = [&](Control&) { ++clicks; };
    QWidget* w = OffscreenQt().WidgetOf(late);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->parentWidget(), window);
    EXPECT_EQ(w->geometry(), QRect(100, 60, 75, 25));
    EXPECT_TRUE(w->isVisible());
    ClickThroughWindow(d, late);
    EXPECT_EQ(clicks, 1);

    // On a page added later too: inside that page's widget, shown with it.
    PageControl& pages = d.Add<PageControl>("pages");
    pages.SetBounds(0, 20, 200, 40);
    Page& page = pages.AddPage("page");
    Label& onPage = d.Add<Label>("onPage", &page);
    onPage.SetAutoSize(false);
    onPage.SetBounds(4, 6, 80, 14);
    onPage.SetCaption("x");
    QWidget* pageWidget = OffscreenQt().WidgetOf(page);
    ASSERT_TRUE(pageWidget);
    EXPECT_EQ(pageWidget->parentWidget(), OffscreenQt().WidgetOf(pages));
    EXPECT_EQ(pageWidget->size(), QSize(200, 40));
    ASSERT_TRUE(OffscreenQt().WidgetOf(onPage));
    EXPECT_EQ(OffscreenQt().WidgetOf(onPage)->parentWidget(), pageWidget);
    EXPECT_EQ(OffscreenQt().WidgetOf(onPage)->geometry(), QRect(4, 6, 80, 14));
    EXPECT_TRUE(OffscreenQt().WidgetOf(onPage)->isVisible());
    // A page that is not the active one hides what lies on it.
    Page& second = pages.AddPage("second");
    Label& hidden = d.Add<Label>("hidden", &second);
    hidden.SetCaption("y");
    EXPECT_FALSE(OffscreenQt().WidgetOf(hidden)->isVisible());
    pages.SetActivePageIndex(1);
    EXPECT_TRUE(OffscreenQt().WidgetOf(hidden)->isVisible());
    EXPECT_FALSE(OffscreenQt().WidgetOf(onPage)->isVisible());
    d.Hide();
}

TEST(QtBackend, ProgressCountsBeyondTheRangeOfInt)
{
    OffscreenQt();
    Form f("Copy");
    f.SetClientSize(200, 40);
    ProgressBar& bar = f.Add<ProgressBar>("bar");
    bar.SetBounds(10, 10, 180, 16);
    bar.SetRange(0, 6'000'000'000LL);
    bar.SetPosition(4'500'000'000LL);
    f.Show();
    auto* p = qobject_cast<QProgressBar*>(OffscreenQt().WidgetOf(bar));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->minimum(), 0);
    EXPECT_EQ(p->maximum(), 10000);
    EXPECT_EQ(p->value(), 7500);
    bar.SetPosition(6'000'000'000LL);
    EXPECT_EQ(p->value(), 10000);
    f.Hide();
}

struct Browser : Form {
    Browser() : Form("Browser")
    {
        SetClientSize(270, 200);
        list.SetBounds(16, 8, 237, 150);
        drive.SetBounds(16, 168, 237, 20);
        drive.SetDirList(&list);
        list.OnChange = [this](Control&) { moves.push_back(list.Directory()); };
    }
    DirectoryList& list = Add<DirectoryList>("Directory");
    DriveCombo& drive = Add<DriveCombo>("Drive");
    StringList moves;
};

class QtBrowsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        OffscreenQt();
        for (const char* name : { "Games", "alpha", "Games\\deeper" })
            ASSERT_TRUE(platform::ForceDirectories(tree / name));
        ASSERT_TRUE(platform::ChangeDirectory(tree.Path()));
    }
    QListWidget* Rows(const Browser& b) { return qobject_cast<QListWidget*>(OffscreenQt().WidgetOf(b.list)); }
    QComboBox* Drives(const Browser& b) { return qobject_cast<QComboBox*>(OffscreenQt().WidgetOf(b.drive)); }
    // The rows say what the model says, and the directory's own row is current.
    void ExpectRowsOf(const Browser& b)
    {
        QListWidget* rows = Rows(b);
        ASSERT_TRUE(rows);
        ASSERT_EQ(rows->count(), static_cast<int>(b.list.Items().size()));
        for (int i = 0; i < rows->count(); ++i)
            EXPECT_EQ(rows->item(i)->text().toStdString(), AnsiToHostUtf8(b.list.Items()[static_cast<size_t>(i)].Text)) << i;
        EXPECT_EQ(rows->currentRow(), b.list.ItemIndex());
    }
    // A click at the middle of a row, sent to the window.
    void ClickRow(const Browser& b, int row, bool twice = false)
    {
        QListWidget* rows = Rows(b);
        rows->scrollToItem(rows->item(row));
        QPoint at = rows->viewport()->mapTo(OffscreenQt().WindowOf(b), rows->visualItemRect(rows->item(row)).center());
        QWindow* window = OffscreenQt().WindowOf(b)->windowHandle();
        if (twice)
            QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, at);
        else
            QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
        QCoreApplication::processEvents();
    }
    TempDir tree;
    CurrentDirectoryGuard cwd;
};

TEST_F(QtBrowsing, TheDirectoryListShowsTheModelAndClicksOpenFolders)
{
    Browser b;
    b.Show();
    ExpectRowsOf(b);
    QListWidget* rows = Rows(b);
    EXPECT_EQ(rows->visualItemRect(rows->item(0)).height(), b.list.ItemHeight);
    int self = b.list.ItemIndex();
    // A double click on Games (after alpha) opens Games, and only Games: its
    // second click lands on the row that now holds Games's own "deeper".
    ClickRow(b, self + 2, true);
    EXPECT_EQ(b.list.Directory(), tree / "Games");
    ExpectRowsOf(b);
    // Arrow keys only move the highlight; Enter opens the highlighted folder.
    QTest::keyClick(rows, Qt::Key_Down);
    EXPECT_EQ(rows->currentRow(), b.list.ItemIndex() + 1);
    EXPECT_EQ(b.list.Directory(), tree / "Games");
    QTest::keyClick(rows, Qt::Key_Return);
    EXPECT_EQ(b.list.Directory(), tree / "Games\\deeper");
    // A click on an ancestor goes up to it.
    ClickRow(b, self);
    EXPECT_EQ(b.list.Directory(), NoSlashPath(tree.Path()));
    EXPECT_EQ(b.moves.size(), 3u);
    ExpectRowsOf(b);
    b.Hide();
}

TEST_F(QtBrowsing, TheDriveListShowsTheModelAndRevertsARefusedChoice)
{
    Browser b;
    b.Show();
    QComboBox* combo = Drives(b);
    ASSERT_TRUE(combo);
    const std::string& letters = b.drive.Drives();
    ASSERT_EQ(combo->count(), static_cast<int>(letters.size()));
    for (int i = 0; i < combo->count(); ++i)
        EXPECT_EQ(combo->itemText(i).toStdString(), b.drive.DriveText(letters[static_cast<size_t>(i)]));
    char here = b.drive.Drive();
    EXPECT_EQ(combo->currentIndex(), static_cast<int>(letters.find(here)));
    // The temporary directory's drive and the other one of the map (C: the
    // home, Z: the root).
    char other = here == 'C' ? 'Z' : 'C';
    int otherIndex = static_cast<int>(letters.find(other));
    ASSERT_GE(otherIndex, 0);
    combo->setFocus();
    QTest::keyClick(combo, otherIndex > combo->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_EQ(combo->currentIndex(), otherIndex) << "the keys did not reach the drive list";
    EXPECT_EQ(b.drive.Drive(), other);
    EXPECT_EQ(b.list.Directory(), platform::DriveCurrentDirectory(other));
    ExpectRowsOf(b);

    // Back to a drive whose current directory has gone: the error is shown,
    // the model stays, and so does the drive list on screen.
    AnsiString gone = NoSlashPath(tree / "alpha");
    ASSERT_TRUE(platform::ChangeDirectory(gone));
    ASSERT_TRUE(platform::ChangeDirectory(b.list.Directory()));
    tarn::test::RemoveTree(gone);
    bool errorShown = false;
    Later(50, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == QString::fromUtf8("エラー")) {
                errorShown = true;
                w->close();
            }
    });
    QTest::keyClick(combo, otherIndex > static_cast<int>(letters.find(here)) ? Qt::Key_Up : Qt::Key_Down);
    EXPECT_TRUE(errorShown);
    EXPECT_EQ(b.drive.Drive(), other);
    EXPECT_EQ(combo->currentIndex(), otherIndex);
    b.Hide();
}

TEST(QtBackend, AFormWithAnOwnerStandsInFrontOfItsWindow)
{
    OffscreenQt();
    Dialog owner;
    int ownerClicks = 0;
    owner.ok.ModalResult = 0;
    owner.ok.OnClick = [&](Control&) { ++ownerClicks; };
    owner.Show();
    Dialog child;
    child.SetOwner(&owner);
    QWidget* ownerWindow = OffscreenQt().WindowOf(owner);
    bool ownedWindow = false, inFront = false, modal = false;
    Later(50, [&] {
        QWidget* childWindow = OffscreenQt().WindowOf(child);
        ownedWindow = childWindow && childWindow->isWindow() && childWindow->parentWidget() == ownerWindow;
        inFront = childWindow && childWindow->windowHandle()->transientParent() == ownerWindow->windowHandle();
        modal = QApplication::activeModalWidget() == childWindow;
        ClickThroughWindow(owner, owner.ok); // blocked while the child runs
    });
    Later(100, [&] { ClickThroughWindow(child, child.ok); });
    EXPECT_EQ(child.ShowModal(), mrOk);
    EXPECT_TRUE(ownedWindow);
    EXPECT_TRUE(inFront);
    EXPECT_TRUE(modal);
    EXPECT_EQ(ownerClicks, 0);
    EXPECT_EQ(OffscreenQt().WindowOf(owner), ownerWindow);

    // The owner may go first: the child stays until it is hidden itself.
    child.Show();
    QWidget* childWindow = OffscreenQt().WindowOf(child);
    ASSERT_TRUE(childWindow);
    owner.Hide();
    ASSERT_EQ(OffscreenQt().WindowOf(child), childWindow);
    EXPECT_TRUE(childWindow->isVisible());
    EXPECT_EQ(childWindow->parentWidget(), nullptr);
    child.Hide();
}

TEST(QtBackend, BringToFrontActivatesTheWindow)
{
    OffscreenQt();
    Dialog first, second;
    first.Show();
    second.Show();
    QWidget* firstWindow = OffscreenQt().WindowOf(first);
    ASSERT_TRUE(tarn::test::WaitFor([&] {
        QCoreApplication::processEvents();
        return QApplication::activeWindow() == OffscreenQt().WindowOf(second);
    }, 2000));
    first.BringToFront();
    EXPECT_TRUE(tarn::test::WaitFor([&] {
        QCoreApplication::processEvents();
        return QApplication::activeWindow() == firstWindow;
    }, 2000));
    second.Hide();
    first.Hide();
}

} // namespace

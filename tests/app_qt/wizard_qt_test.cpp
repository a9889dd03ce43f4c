// The wizard in real Qt widgets (offscreen): every page drawn at the form's
// geometry, and a two-disc install clicked through the window system.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>

#include "../wizard/wizard_fixture.h"
#include "base/codepage.h"
#include "support/qt_support.h"
#include "wizard/form_type.h"

using namespace tarn;
using namespace tarn::ui;
using tarn::test::ClickThroughWindow;
using tarn::test::DiscContent;
using tarn::test::DiscSet;
using tarn::test::OffscreenQt;
using tarn::test::S;
using tarn::test::TempDir;

namespace {

// Dark pixels (text, frames) inside the page area of the form's window.
int InkOnPage(const Form& form)
{
    QImage picture = OffscreenQt().WindowOf(form)->grab().toImage();
    int ink = 0;
    for (int y = 0; y < 229 && y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qGray(picture.pixel(x, y)) < 96)
                ++ink;
    return ink;
}

QString ButtonText(const Control& button) { return static_cast<QPushButton*>(OffscreenQt().WidgetOf(button))->text(); }

// Steps run one after another from the event loop of the modal wizard, so
// that each sees what the previous click left on the screen.
class Script {
public:
    void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }
    // The timers go with the script (a test that ends early leaves none behind).
    void Start() { QTimer::singleShot(50, &context_, [this] { Next(); }); }

private:
    void Next()
    {
        if (steps_.empty())
            return;
        auto step = std::move(steps_.front());
        steps_.pop_front();
        step();
        QTimer::singleShot(50, &context_, [this] { Next(); });
    }
    std::deque<std::function<void()>> steps_;
    QObject context_;
};

DiscContent Disc(const char* program, const char* entry)
{
    DiscContent d;
    d.Files = { { program, "MZ program" }, { "install.exe", "MZ installer" } };
    d.Entries = { { entry, "data" } };
    return d;
}

TEST(WizardInQt, EveryPageIsDrawnAndAnInstallIsClickedThrough)
{
    OffscreenQt();
    DiscSet set(S(u8"窓の中の二枚組"), { Disc("game.exe", "one.txt"), Disc("extra.exe", "two.txt") });
    TProgramState state;
    set.LoadState(state, 0);
    TempDir dest;
    const AnsiString target = dest / "game";
    RunOptions quick;
    quick.Pauses = false;
    TFormType w(state, quick, nullptr);

    std::vector<int> pages;
    Script script;
    auto look = [&](int page) {
        script.Then([&, page] {
            pages.push_back(w.PageIndex());
            QWidget* window = OffscreenQt().WindowOf(w);
            ASSERT_TRUE(window);
            EXPECT_EQ(window->size(), QSize(383, 269)) << page;
            EXPECT_EQ(w.PageIndex(), page);
            EXPECT_GT(InkOnPage(w), 200) << "page " << page << " looks empty";
            EXPECT_EQ(OffscreenQt().WidgetOf(w.btnNext)->geometry(), QRect(212, 236, 75, 25));
        });
    };
    look(pgMedia);
    script.Then([&] {
        EXPECT_TRUE(OffscreenQt().WidgetOf(w.RadioDiskAll)->isVisible());
        ClickThroughWindow(w, w.btnNext);
    });
    look(pgFile);
    script.Then([&] {
        // Everything the discs hold starts chosen; a click leaves it out.
        EXPECT_TRUE(w.CheckData.Checked());
        ClickThroughWindow(w, w.CheckData);
        EXPECT_FALSE(w.CheckData.Checked());
        ClickThroughWindow(w, w.CheckData);
        EXPECT_TRUE(w.CheckData.Checked());
        ClickThroughWindow(w, w.btnNext);
    });
    look(pgSelDir);
    script.Then([&] {
        EXPECT_EQ(OffscreenQt().WidgetOf(w.EditDir)->geometry(), QRect(16, 28, 237, 20));
        EXPECT_EQ(OffscreenQt().WidgetOf(w.Directory)->geometry(), QRect(16, 52, 237, 113));
        auto* edit = static_cast<QLineEdit*>(OffscreenQt().WidgetOf(w.EditDir));
#ifndef _WIN32
        // Host paths: the proposal below the home, the places, the free space.
        const QString home = QString::fromStdString(platform::GetEnv("HOME"));
        EXPECT_TRUE(edit->text().startsWith(home + "/")) << edit->text().toStdString();
        auto* places = qobject_cast<QComboBox*>(OffscreenQt().WidgetOf(w.Drive));
        ASSERT_TRUE(places);
        ASSERT_GE(places->count(), 2);
        EXPECT_EQ(places->itemText(0), home);
        EXPECT_EQ(places->itemText(1), QString("/"));
        EXPECT_EQ(places->currentIndex(), 0);
        auto* free = qobject_cast<QLabel*>(OffscreenQt().WidgetOf(w.LabelSzDrv));
        ASSERT_TRUE(free);
        EXPECT_TRUE(free->text().startsWith(home + QString::fromUtf8(" には "))) << free->text().toStdString();
#endif
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromStdString(platform::DisplayPath(target)));
        // The edit holds what was typed, a host path here.
        EXPECT_EQ(AnsiToHostUtf8(w.EditDir.Text()), platform::DisplayPath(target));
        ClickThroughWindow(w, w.btnNext);
    });
    look(pgConfirm);
    script.Then([&] {
        EXPECT_EQ(ButtonText(w.btnNext), QString::fromUtf8("インストール"));
        // The run happens inside this click; disc 2 lies beside disc 1.
        ClickThroughWindow(w, w.btnNext);
    });
    look(pgExit);
    script.Then([&] {
        EXPECT_EQ(ButtonText(w.btnAbort), QString::fromUtf8("閉じる(&C)"));
        EXPECT_FALSE(OffscreenQt().WidgetOf(w.btnNext)->isVisible());
        ClickThroughWindow(w, w.btnAbort);
    });
    script.Start();
    EXPECT_EQ(w.ShowModal(), mrOk);
    EXPECT_EQ(pages, (std::vector<int>{ pgMedia, pgFile, pgSelDir, pgConfirm, pgExit }));
    for (const char* f : { "game.exe", "extra.exe", "install.exe", "game.dat", "install.dat" })
        EXPECT_TRUE(platform::FileExists(AddBackslash(target) + f)) << f;
}

// A shown window of the application with that title (a message box).
QWidget* WindowTitled(const QString& title)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title)
            return w;
    return nullptr;
}

TEST(WizardInQt, TheCloseBoxDuringALargeCopyAsksAtOnceAndStopsIt)
{
    OffscreenQt();
    DiscContent d;
    d.Files = { { "movie.bin", "m" }, { "install.exe", "MZ installer" } };
    DiscSet set(S(u8"コピー中に閉じる"), { d });
    {
        // 256 MiB without writing them: a file with a hole.
        auto big = platform::File::Open(set.Disc(0) + "movie.bin", platform::File::Mode::ReadWrite);
        ASSERT_TRUE(big && big->SetSize(int64_t(256) << 20));
    }
    // The bar counts to what the description says the program needs.
    TTarnInstallSet description = set.Description(0);
    description.ProgramSizes()[0] = description.ProgramTotal = (256 << 20) + 12;
    description.SaveToFile(set.Disc(0) + "install.dat");
    TProgramState state;
    set.LoadState(state, 0);
    TempDir dest;
    RunOptions quick;
    quick.Pauses = false;
    TFormType w(state, quick, nullptr);
    w.EditDir.SetText(dest / "game");
    w.ShowPage(pgConfirm);

    bool closed = false;
    int64_t atYes = -1;
    // Once 64 MiB are copied, the close box, as the run's next look at the
    // window's events would deliver it: the question comes up at once.
    w.OnModelChanged = [&](Control* c) {
        if (c == &w.Progress && !closed && w.RunInProgress() && w.Progress.Position() >= (int64_t(64) << 20)) {
            closed = true;
            OffscreenQt().WindowOf(w)->close();
        }
    };
    // Answers the question when it shows: はい.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* box = WindowTitled(QString::fromUtf8("確認")); box && atYes < 0) {
            atYes = w.Progress.Position();
            for (auto* b : box->findChildren<QPushButton*>())
                if (b->text() == QString::fromUtf8("はい(&Y)"))
                    QTest::mouseClick(box->windowHandle(), Qt::LeftButton, Qt::NoModifier, b->mapTo(box, b->rect().center()));
        }
    });
    watch.start(5);
    QTimer::singleShot(50, [&] { ClickThroughWindow(w, w.btnNext); });
    EXPECT_EQ(w.ShowModal(), mrAbort);
    watch.stop();
    w.OnModelChanged = nullptr;
    EXPECT_TRUE(closed);
    ASSERT_GE(atYes, int64_t(64) << 20);
    // Nothing was copied after the answer, and the half-copied file is gone
    // with the rest of the new installation.
    EXPECT_LE(w.Progress.Position() - atYes, int64_t(2) << 20);
    EXPECT_LT(w.Progress.Position(), int64_t(256) << 20);
    EXPECT_FALSE(platform::DirectoryExists(dest / "game"));
}

} // namespace

// The backend conformance cases with Qt offscreen: clicks and keys sent to
// the windows as the window system would, widgets read back.
#include <deque>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include "base/codepage.h"
#include "conformance/cases.h"
#include "support/qt_support.h"

using namespace tarn;
using namespace tarn::ui;
using namespace tarn::test;

namespace {

QString ToQt(const AnsiString& cp932) { return QString::fromUtf8(AnsiToHostUtf8(cp932)); }
AnsiString FromQt(const QString& s) { return HostUtf8ToAnsi(s.toUtf8().toStdString()); }

class QtProbe : public TimedStepProbe {
public:
    QtProbe() : qt_(OffscreenQt()) { Watch(30000); }

    std::string Name() const override { return "qt"; }
    std::string Lacks(Can) const override { return ""; }

    void Settle() override { QCoreApplication::processEvents(); }

    void Click(Control& c) override
    {
        QWidget* widget = qt_.WidgetOf(c);
        QWidget* window = qt_.WindowOf(c.OwnerForm());
        ASSERT_TRUE(widget && window) << c.Name();
        // A check box or radio button takes a click on its mark.
        bool marked = c.Kind() == ControlKind::CheckBox || c.Kind() == ControlKind::RadioButton;
        QPoint at = marked ? QPoint(8, widget->height() / 2) : widget->rect().center();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(window, at));
    }
    void CloseBox(Form& f) override { qt_.WindowOf(f)->close(); }
    void Type(Edit& e, const AnsiString& text) override
    {
        auto* line = qobject_cast<QLineEdit*>(qt_.WidgetOf(e));
        ASSERT_TRUE(line);
        line->setFocus();
        line->selectAll();
        // Key by key, each with its character (as an input method commits them).
        for (QChar ch : ToQt(text)) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(line, &press);
            QApplication::sendEvent(line, &release);
        }
    }
    void ClickRow(DirectoryList& list, int row) override { ClickOnRow(list, row, false); }
    void DoubleClickRow(DirectoryList& list, int row) override { ClickOnRow(list, row, true); }
    void HighlightNextRow(DirectoryList& list) override { QTest::keyClick(RowsOf(list), Qt::Key_Down); }
    void EnterOnHighlightedRow(DirectoryList& list) override { QTest::keyClick(RowsOf(list), Qt::Key_Return); }
    // Keys with the list closed: the last step of a walk from its neighbour.
    void ChooseDrive(DriveCombo& drive, int to) override
    {
        auto* combo = qobject_cast<QComboBox*>(qt_.WidgetOf(drive));
        ASSERT_TRUE(combo);
        int from = to > 0 ? to - 1 : to + 1;
        combo->setCurrentIndex(from);
        combo->setFocus();
        QTest::keyClick(combo, to > from ? Qt::Key_Down : Qt::Key_Up);
    }

    bool HasWindow(const Form& f) override
    {
        QWidget* window = qt_.WindowOf(f);
        return window && window->isVisible();
    }
    AnsiString Title(const Form& f) override { return FromQt(qt_.WindowOf(f)->windowTitle()); }
    std::optional<Shown> ShownControl(const Control& c) override
    {
        QWidget* w = qt_.WidgetOf(c);
        if (!w)
            return Shown{};
        Shown shown{ w->isVisible(), std::nullopt, w->isEnabled(), std::nullopt };
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            shown.text = StripMnemonic(FromQt(b->text()));
            if (b->isCheckable())
                shown.checked = b->isChecked();
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            shown.text = FromQt(l->text());
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            shown.text = FromQt(e->text());
        }
        return shown;
    }
    Rows ShownRows(const Control& c) override
    {
        auto* rows = qobject_cast<QListWidget*>(qt_.WidgetOf(c));
        Rows shown;
        if (!rows)
            return shown;
        for (int i = 0; i < rows->count(); ++i)
            shown.texts.push_back(FromQt(rows->item(i)->text()));
        shown.selected = rows->currentRow();
        if (rows->count() > 0)
            shown.rowHeight = rows->visualItemRect(rows->item(0)).height();
        return shown;
    }
    int ShownDrive(const DriveCombo& drive) override
    {
        auto* combo = qobject_cast<QComboBox*>(qt_.WidgetOf(drive));
        return combo ? combo->currentIndex() : -1;
    }
    std::optional<std::vector<std::string>> ShownDrives(const DriveCombo& drive) override
    {
        std::vector<std::string> texts;
        if (auto* combo = qobject_cast<QComboBox*>(qt_.WidgetOf(drive)))
            for (int i = 0; i < combo->count(); ++i)
                texts.push_back(combo->itemText(i).toStdString());
        return texts;
    }
    double ShownProgress(const ProgressBar& bar) override
    {
        auto* p = qobject_cast<QProgressBar*>(qt_.WidgetOf(bar));
        return p && p->maximum() > p->minimum() ? double(p->value() - p->minimum()) / (p->maximum() - p->minimum()) : -1;
    }
    double ProgressResolution() const override { return 1e-4; }

    bool OwnedBy(const Form& f, const Form* owner) override
    {
        QWidget* window = qt_.WindowOf(f);
        QWidget* ownerWindow = owner ? qt_.WindowOf(*owner) : nullptr;
        if (!window || (owner && !ownerWindow))
            return false;
        QWindow* transient = window->windowHandle() ? window->windowHandle()->transientParent() : nullptr;
        return window->isWindow() && window->parentWidget() == ownerWindow &&
               transient == (ownerWindow ? ownerWindow->windowHandle() : nullptr);
    }
    bool IsActive(const Form& f) override { return QApplication::activeWindow() == qt_.WindowOf(f); }
    Box Placed(const Control& c) override
    {
        QWidget* w = qt_.WidgetOf(c);
        QWidget* window = qt_.WindowOf(c.OwnerForm());
        if (!w || !window)
            return {};
        QPoint at = w->mapTo(window, QPoint(0, 0));
        return { at.x(), at.y(), w->width(), w->height() };
    }
    bool HeldBy(const Control& c, const Control* holder) override
    {
        QWidget* w = qt_.WidgetOf(c);
        return w && w->parentWidget() == (holder ? qt_.WidgetOf(*holder) : qt_.WindowOf(c.OwnerForm()));
    }
    Box Frame(const Form& f) override
    {
        QRect r = qt_.WindowOf(f)->frameGeometry();
        return { r.x(), r.y(), r.width(), r.height() };
    }
    Box Client(const Form& f) override
    {
        QRect r = qt_.WindowOf(f)->geometry();
        return { r.x(), r.y(), r.width(), r.height() };
    }

private:
    void After(int ms, std::function<void()> fn) override { QTimer::singleShot(ms, &context_, std::move(fn)); }
    // A lost click must not hang the test program: the modal loops end.
    void Watch(int ms)
    {
        QTimer::singleShot(ms, &context_, [this] {
            ADD_FAILURE() << "a modal loop did not end in time";
            for (Form* f : App().ModalForms())
                f->ForceClose();
            Watch(2000);
        });
    }
    QListWidget* RowsOf(const DirectoryList& list) { return qobject_cast<QListWidget*>(qt_.WidgetOf(list)); }
    void ClickOnRow(const DirectoryList& list, int row, bool twice)
    {
        QListWidget* rows = RowsOf(list);
        ASSERT_TRUE(rows && row >= 0 && row < rows->count());
        rows->scrollToItem(rows->item(row));
        QWidget* window = qt_.WindowOf(list.OwnerForm());
        QPoint at = rows->viewport()->mapTo(window, rows->visualItemRect(rows->item(row)).center());
        if (twice)
            QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        else
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    }

    QtBackend& qt_;
    QObject context_; // the timers go with the probe
};

} // namespace

TARN_BACKEND_CONFORMANCE(Qt, ProbeMaker{ "qt", [] { return std::make_unique<QtProbe>(); } });

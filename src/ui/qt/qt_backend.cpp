#include "ui/qt/qt_backend.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWindow>

#include "base/codepage.h"
#include "ui/application.h"
#include "ui/directory_list.h"
#include "ui/grad_box.h"
#include "ui/paint_box.h"

namespace tarn::ui {

namespace {

QString ToQt(const AnsiString& cp932) { return QString::fromUtf8(AnsiToHostUtf8(cp932)); }
AnsiString FromQt(const QString& s) { return HostUtf8ToAnsi(s.toUtf8().toStdString()); }

// Labels show a caption without its mnemonic ampersands, as the system's do.
QString LabelText(const AnsiString& caption) { return ToQt(StripMnemonic(caption)); }

QColor ToColor(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QFont FontOf(const FontSpec& fontSpec)
{
    QFont f(QString::fromStdString(QtBackend::FamilyFor(fontSpec.Name)));
    f.setPixelSize(fontSpec.Height > 0 ? fontSpec.Height : 12);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// The window of one form: the close box and Enter go to the model.
class FormWindow : public QWidget {
public:
    // A window with a parent window (its owner's) is a separate window that
    // the window system keeps in front of the parent.
    FormWindow(Form& form, QWidget* owner)
        : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                               Qt::MSWindowsFixedSizeDialogHint),
          form_(form)
    {
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QWidget::paintEvent(event);
        // The children paint in the same pass: the window is complete when
        // the event loop comes back.
        if (App().ExitAtFirstPaint)
            QTimer::singleShot(0, [] { App().FirstPaintDone(); });
    }
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        form_.CloseRequested();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            if (Button* b = form_.DefaultButton())
                b->Click();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            form_.CloseRequested();
            return;
        }
        QWidget::keyPressEvent(event);
    }

private:
    Form& form_;
};

// A surface as a picture Qt can draw: 24-bit rows, bottom row first in memory.
QImage ImageOf(const TDIBSurface& surface)
{
    TDIBSurface copy;
    const TDIBSurface* s = &surface;
    if (surface.BitDepth() != 24) {
        copy.AssignSurface(surface);
        copy.SetDepth(24);
        s = &copy;
    }
    QImage upsideDown(s->Bits(), s->Width(), s->Height(), s->Stride(), QImage::Format_BGR888);
    return upsideDown.mirrored(false, true);
}

// Paint boxes: the bitmap at its own size (top-left or centred) or stretched;
// the rest of the widget stays transparent, so what lies beneath shows.
class PaintBoxWidget : public QWidget {
public:
    PaintBoxWidget(QWidget* parent, PaintBox& box) : QWidget(parent), box_(box) { }
    void Changed() { cache_ = QImage(); update(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (box_.Bitmap().Empty())
            return;
        if (cache_.isNull())
            cache_ = ImageOf(box_.Bitmap());
        QPainter p(this);
        if (box_.Stretch()) {
            p.drawImage(QRect(0, 0, width(), height()), cache_.scaled(width(), height(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
            return;
        }
        int x = box_.Center() ? (width() - cache_.width()) / 2 : 0;
        int y = box_.Center() ? (height() - cache_.height()) / 2 : 0;
        p.drawImage(x, y, cache_);
    }

private:
    PaintBox& box_;
    QImage cache_;
};

// Controls that paint themselves onto a surface of their size (the gradient box).
class SurfaceWidget : public QWidget {
public:
    SurfaceWidget(QWidget* parent, std::function<void(TDIBSurface&)> paint) : QWidget(parent), paint_(std::move(paint)) { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (width() <= 0 || height() <= 0)
            return;
        TDIBSurface surface;
        surface.Resize(width(), height(), 24);
        paint_(surface);
        QPainter(this).drawImage(0, 0, ImageOf(surface));
    }

private:
    std::function<void(TDIBSurface&)> paint_;
};

// The steps of a progress bar: the model counts bytes in 64 bits, Qt in int.
constexpr int kProgressScale = 10000;

// The directory list's rows: indented by level and all of the list's item
// height, as the system's list draws them.
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kIndentPerLevel = 8;

class DirectoryRowDelegate : public QStyledItemDelegate {
public:
    DirectoryRowDelegate(QObject* parent, DirectoryList& list) : QStyledItemDelegate(parent), list_(list) { }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + index.data(kLevelRole).toInt() * kIndentPerLevel);
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        return QSize(size.width() + index.data(kLevelRole).toInt() * kIndentPerLevel, list_.ItemHeight);
    }

private:
    DirectoryList& list_;
};

// A click opens the row's folder, and so does Enter on the current row.
// The first click of a double click has opened a folder already: the second
// (its activation, and the click its release reports) would open whatever
// folder the new rows put under the pointer. Whatever happens, the current
// row is the directory's own again afterwards (a refused choice, the press
// of that second click).
class DirectoryListWidget : public QListWidget {
public:
    DirectoryListWidget(QWidget* parent, DirectoryList& list, std::function<void(int)> choose)
        : QListWidget(parent), list_(list), choose_(std::move(choose))
    {
        QObject::connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
            if (!secondClick_)
                Choose(row(item));
        });
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        secondClick_ = true;
        QListWidget::mouseDoubleClickEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QListWidget::mouseReleaseEvent(event);
        if (secondClick_)
            setCurrentRow(list_.ItemIndex());
        secondClick_ = false;
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
            Choose(currentRow());
            return;
        }
        QListWidget::keyPressEvent(event);
    }

private:
    void Choose(int row)
    {
        choose_(row);
        setCurrentRow(list_.ItemIndex());
    }
    DirectoryList& list_;
    std::function<void(int)> choose_;
    bool secondClick_ = false;
};

char* g_argv[] = { const_cast<char*>("tarn-setup"), nullptr };
int g_argc = 1;

} // namespace

struct QtBackend::FormView {
    std::unique_ptr<FormWindow> window;
    std::map<const Control*, QWidget*> widgets;
    bool syncing = false;
};

QtBackend::QtBackend()
{
    if (!QApplication::instance())
        new QApplication(g_argc, g_argv);
}

QtBackend::~QtBackend()
{
    // Owned windows first: each is also a child of its owner's window.
    for (auto& [form, view] : views_)
        if (view->window && view->window->parentWidget())
            view->window->setParent(nullptr);
    views_.clear();
}

std::string QtBackend::FamilyFor(const AnsiString& name)
{
    // The forms ask for the system's proportional gothic; IPA's stands in.
    std::string utf8 = AnsiToHostUtf8(name);
    if (utf8.find("ゴシック") != std::string::npos || utf8.empty())
        return utf8.find("Ｐ") != std::string::npos || utf8.empty() ? "IPAPGothic" : "IPAGothic";
    if (utf8.find("明朝") != std::string::npos)
        return utf8.find("Ｐ") != std::string::npos ? "IPAPMincho" : "IPAMincho";
    return utf8;
}

int QtBackend::DesktopWidth() const
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 1024;
}

int QtBackend::DesktopHeight() const
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 768;
}

QWidget* QtBackend::WindowOf(const Form& form) const
{
    auto it = views_.find(&form);
    return it == views_.end() ? nullptr : it->second->window.get();
}

QWidget* QtBackend::WidgetOf(const Control& control) const
{
    auto it = views_.find(&control.OwnerForm());
    if (it == views_.end())
        return nullptr;
    auto w = it->second->widgets.find(&control);
    return w == it->second->widgets.end() ? nullptr : w->second;
}

QWidget* QtBackend::WidgetFor(Form& form, FormView& view, Control* c)
{
    auto it = view.widgets.find(c);
    if (it != view.widgets.end())
        return it->second;
    QWidget* parent = view.window.get();
    if (c->Kind() == ControlKind::Page)
        parent = WidgetFor(form, view, &static_cast<Page*>(c)->Owner());
    else if (&c->Parent() != static_cast<Container*>(&form))
        parent = WidgetFor(form, view, static_cast<Page*>(&c->Parent()));
    QWidget* w = CreateWidget(view, c, parent);
    view.widgets[c] = w;
    return w;
}

QWidget* QtBackend::CreateWidget(FormView& view, Control* c, QWidget* parent)
{
    QWidget* w = nullptr;
    switch (c->Kind()) {
    case ControlKind::Button: {
        auto* b = new QPushButton(parent);
        QObject::connect(b, &QPushButton::clicked, b, [c] { c->Click(); });
        w = b;
        break;
    }
    case ControlKind::CheckBox: {
        auto* b = new QCheckBox(parent);
        QObject::connect(b, &QCheckBox::clicked, b, [c] { c->Click(); });
        w = b;
        break;
    }
    case ControlKind::RadioButton: {
        auto* b = new QRadioButton(parent);
        b->setAutoExclusive(false); // the model keeps the group
        QObject::connect(b, &QRadioButton::clicked, b, [c] { c->Click(); });
        w = b;
        break;
    }
    case ControlKind::Label:
        w = new QLabel(parent);
        break;
    case ControlKind::Edit: {
        auto* e = new QLineEdit(parent);
        QObject::connect(e, &QLineEdit::textEdited, e, [c](const QString& t) { static_cast<Edit*>(c)->UserSetText(FromQt(t)); });
        w = e;
        break;
    }
    case ControlKind::ListBox: {
        auto* l = new QListWidget(parent);
        FormView* v = &view;
        QObject::connect(l, &QListWidget::currentRowChanged, l, [c, v](int row) {
            if (!v->syncing)
                static_cast<ListBox*>(c)->UserSelect(row);
        });
        w = l;
        break;
    }
    case ControlKind::ProgressBar: {
        auto* p = new QProgressBar(parent);
        p->setTextVisible(false);
        w = p;
        break;
    }
    case ControlKind::PaintBox:
        w = new PaintBoxWidget(parent, *static_cast<PaintBox*>(c));
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        break;
    case ControlKind::GradientBox:
        w = new SurfaceWidget(parent, [c](TDIBSurface& s) { static_cast<GradientBox*>(c)->PaintTo(s); });
        w->setAttribute(Qt::WA_TransparentForMouseEvents);
        break;
    case ControlKind::Bevel: {
        auto* f = new QFrame(parent);
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        w = f;
        break;
    }
    case ControlKind::DirectoryList: {
        auto* list = static_cast<DirectoryList*>(c);
        FormView* v = &view;
        auto* l = new DirectoryListWidget(parent, *list, [list, v](int row) {
            if (!v->syncing && row >= 0)
                list->UserChoose(row);
        });
        l->setItemDelegate(new DirectoryRowDelegate(l, *list));
        l->setUniformItemSizes(true);
        w = l;
        break;
    }
    case ControlKind::DriveCombo: {
        auto* drive = static_cast<DriveCombo*>(c);
        auto* b = new QComboBox(parent);
        // activated comes from a person only: showing the model's drive
        // never feeds back.
        QPointer<QComboBox> guard(b);
        QObject::connect(b, &QComboBox::activated, b, [this, drive, guard](int index) {
            const std::string& letters = drive->Drives();
            if (index >= 0 && index < static_cast<int>(letters.size()))
                drive->UserChoose(letters[static_cast<size_t>(index)]);
            // A choice the model refused (or whose handler closed the form)
            // must not stay on screen.
            if (guard)
                SyncDriveCombo(*drive, guard);
        });
        w = b;
        break;
    }
    default:
        w = new QWidget(parent);
        break;
    }
    return w;
}

void QtBackend::Sync(Form& form, FormView& view, Control* only)
{
    // Setting a widget's state may emit its signals: they must not come
    // back to the model as a person's action (and a sync may nest).
    bool wasSyncing = view.syncing;
    view.syncing = true;
    FormWindow* window = view.window.get();
    if (!only) {
        window->setWindowTitle(ToQt(form.Caption()));
        window->setFixedSize(form.ClientWidth(), form.ClientHeight());
        window->setFont(FontOf(form.Font()));
    }
    for (Control* c : form.AllControls()) {
        if (only && c != only)
            continue;
        QWidget* w = WidgetFor(form, view, c);
        if (c->Kind() == ControlKind::Page) {
            PageControl& owner = static_cast<Page*>(c)->Owner();
            w->setGeometry(0, 0, owner.Width(), owner.Height());
            w->setVisible(c->Visible() && owner.ActivePageIndex() == static_cast<Page*>(c)->Index());
            continue;
        }
        w->setGeometry(c->Left(), c->Top(), c->Width(), c->Height());
        w->setEnabled(c->Enabled());
        switch (c->Kind()) {
        case ControlKind::Button: {
            auto* b = static_cast<QPushButton*>(w);
            b->setText(ToQt(c->Caption()));
            b->setDefault(static_cast<Button*>(c)->Default());
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::RadioButton: {
            auto* b = static_cast<QAbstractButton*>(w);
            b->setText(ToQt(c->Caption()));
            b->setChecked(static_cast<CheckControl*>(c)->Checked());
            break;
        }
        case ControlKind::Label: {
            auto* l = static_cast<QLabel*>(w);
            auto* label = static_cast<Label*>(c);
            l->setText(LabelText(c->Caption()));
            Qt::Alignment h = label->Alignment() == Alignment::Right ? Qt::AlignRight : label->Alignment() == Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft;
            l->setAlignment(h | Qt::AlignTop);
            QPalette pal = l->palette();
            const FontSpec& font = label->Font() ? *label->Font() : form.Font();
            if (label->Font())
                l->setFont(FontOf(font));
            pal.setColor(QPalette::WindowText, ToColor(font.Color));
            if (label->Color() != clNone && label->Color() != clBtnFace) {
                pal.setColor(QPalette::Window, ToColor(label->Color()));
                l->setAutoFillBackground(true);
            } else {
                l->setAutoFillBackground(false);
            }
            l->setPalette(pal);
            if (label->AutoSize())
                l->resize(l->sizeHint());
            break;
        }
        case ControlKind::Edit: {
            auto* e = static_cast<QLineEdit*>(w);
            QString t = ToQt(static_cast<Edit*>(c)->Text());
            if (e->text() != t)
                e->setText(t);
            break;
        }
        case ControlKind::ListBox: {
            auto* l = static_cast<QListWidget*>(w);
            auto* list = static_cast<ListBox*>(c);
            QStringList items;
            for (const AnsiString& item : list->Items())
                items << ToQt(item);
            QStringList current;
            for (int i = 0; i < l->count(); ++i)
                current << l->item(i)->text();
            if (current != items) {
                l->clear();
                l->addItems(items);
            }
            l->setCurrentRow(list->ItemIndex());
            break;
        }
        case ControlKind::PaintBox:
            static_cast<PaintBoxWidget*>(w)->Changed();
            break;
        case ControlKind::GradientBox:
            w->update();
            break;
        case ControlKind::ProgressBar: {
            auto* p = static_cast<QProgressBar*>(w);
            auto* bar = static_cast<ProgressBar*>(c);
            p->setRange(0, kProgressScale);
            p->setValue(bar->ScaledPosition(kProgressScale));
            break;
        }
        case ControlKind::DirectoryList:
            SyncDirectoryList(*static_cast<DirectoryList*>(c), w);
            break;
        case ControlKind::DriveCombo:
            SyncDriveCombo(*static_cast<DriveCombo*>(c), w);
            break;
        default:
            break;
        }
        // A control on a page shows only while its page is the active one;
        // the page widget itself takes care of that.
        w->setVisible(c->Visible());
    }
    view.syncing = wasSyncing;
}

void QtBackend::SyncDirectoryList(DirectoryList& list, QWidget* w)
{
    auto* l = static_cast<QListWidget*>(w);
    const std::vector<DirectoryList::Entry>& entries = list.Items();
    bool same = l->count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < l->count(); ++i) {
        const DirectoryList::Entry& e = entries[static_cast<size_t>(i)];
        same = l->item(i)->text() == ToQt(e.Text) && l->item(i)->data(kLevelRole).toInt() == e.Level;
    }
    if (!same) {
        l->clear();
        QStyle* style = l->style();
        for (const DirectoryList::Entry& e : entries) {
            QIcon icon = style->standardIcon(e.Level == 0 ? QStyle::SP_DriveHDIcon : e.Open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon);
            auto* item = new QListWidgetItem(icon, ToQt(e.Text));
            item->setData(kLevelRole, e.Level);
            l->addItem(item);
        }
    }
    l->setCurrentRow(list.ItemIndex());
    if (QListWidgetItem* current = l->currentItem())
        l->scrollToItem(current);
}

void QtBackend::SyncDriveCombo(DriveCombo& drive, QWidget* w)
{
    auto* b = static_cast<QComboBox*>(w);
    QStringList items;
    for (char letter : drive.Drives())
        items << QString::fromStdString(drive.DriveText(letter));
    QStringList shown;
    for (int i = 0; i < b->count(); ++i)
        shown << b->itemText(i);
    if (shown != items) {
        b->clear();
        b->addItems(items);
    }
    size_t at = drive.Drives().find(drive.Drive());
    b->setCurrentIndex(at == std::string::npos ? -1 : static_cast<int>(at));
}

void QtBackend::ShowForm(Form& form)
{
    auto& view = views_[&form];
    if (!view) {
        view = std::make_unique<FormView>();
        // The owner's window as parent: the window system then keeps this
        // one in front of it and treats the two as one application window.
        QWidget* owner = form.Owner() ? WindowOf(*form.Owner()) : nullptr;
        view->window = std::make_unique<FormWindow>(form, owner);
        for (Control* c : form.AllControls())
            WidgetFor(form, *view, c);
    }
    Sync(form, *view, nullptr);
    QWidget* window = view->window.get();
    if (!form.BorderIcons)
        window->setWindowFlag(Qt::WindowCloseButtonHint, false);
    // Application-wide: the owner (and every other window) takes no input
    // while a modal form runs.
    window->setWindowModality(form.IsModal() ? Qt::ApplicationModal : Qt::NonModal);
    window->move((DesktopWidth() - form.ClientWidth()) / 2, (DesktopHeight() - form.ClientHeight()) / 2);
    window->show();
    window->raise();
    window->activateWindow();
}

void QtBackend::HideForm(Form& form)
{
    auto it = views_.find(&form);
    if (it == views_.end())
        return;
    QWidget* window = it->second->window.get();
    // A window whose owner goes first must not go with it: its own view
    // frees it.
    for (auto& [other, view] : views_) {
        QWidget* w = view->window.get();
        if (w && w->parentWidget() == window) {
            bool visible = w->isVisible();
            w->setParent(nullptr, w->windowFlags());
            if (visible)
                w->show();
        }
    }
    window->hide();
    views_.erase(it);
}

void QtBackend::BringToFront(Form& form)
{
    QWidget* window = WindowOf(form);
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

void QtBackend::Update(Form& form, Control* control)
{
    auto it = views_.find(&form);
    if (it != views_.end())
        Sync(form, *it->second, control && control->Kind() == ControlKind::PageControl ? nullptr : control);
}

void QtBackend::WaitForAction(Form&) { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents); }

void QtBackend::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool QtBackend::Grab(const Form& form, const std::string& pngPath)
{
    QWidget* w = WindowOf(form);
    if (!w)
        return false;
    return w->grab().save(QString::fromStdString(pngPath), "PNG");
}

} // namespace tarn::ui

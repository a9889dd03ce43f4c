#include "ui/qt/qt_backend.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <QDir>
#include <QLibraryInfo>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWindow>

#include "base/codepage.h"
#include "platform/platform.h"
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

// Reports each click on the rows as a press to the model, with whether it
// was the second click of a double click, and Enter as a choice of the
// current row; what opens and what shows selected afterwards is the
// model's.
class DirectoryListWidget : public QListWidget {
public:
    DirectoryListWidget(QWidget* parent, DirectoryList& list) : QListWidget(parent), list_(list)
    {
        QObject::connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { clickedRow_ = row(item); });
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        secondClick_ = true;
        QListWidget::mouseDoubleClickEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        // A click is a press and a release on the same row (itemClicked).
        clickedRow_ = -1;
        QListWidget::mouseReleaseEvent(event);
        bool second = secondClick_;
        secondClick_ = false;
        list_.UserPress(clickedRow_, second);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
            list_.UserChoose(currentRow());
            return;
        }
        QListWidget::keyPressEvent(event);
    }

private:
    DirectoryList& list_;
    int clickedRow_ = -1;
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

namespace {

bool Connects(const sockaddr* addr, socklen_t size)
{
    int s = ::socket(addr->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0)
        return false;
    bool ok = ::connect(s, addr, size) == 0;
    if (!ok && errno == EINPROGRESS) {
        // A display on another machine: half a second to answer.
        pollfd p{ s, POLLOUT, 0 };
        int error = 0;
        socklen_t len = sizeof error;
        ok = ::poll(&p, 1, 500) == 1 && ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
    ::close(s);
    return ok;
}

bool UnixSocketConnects(const std::string& path, bool abstract)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path + offset, path.data(), path.size());
    return Connects(reinterpret_cast<sockaddr*>(&addr), static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size()));
}

// DISPLAY is [host]:n[.screen]; a local display listens on its socket
// (on the file or in the abstract namespace), a remote one on port 6000+n.
bool XDisplayAnswers(const std::string& display)
{
    size_t colon = display.rfind(':');
    if (colon == std::string::npos || colon + 1 >= display.size())
        return false;
    std::string host = display.substr(0, colon);
    std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (host.empty() || host == "unix" || host[0] == '/') {
        std::string socket = host[0] == '/' ? host : "/tmp/.X11-unix/X" + number;
        return UnixSocketConnects(socket, false) || UnixSocketConnects(socket, true);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(6000 + std::stoi(number)).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next)
        ok = Connects(a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return ok;
}

bool WaylandAnswers()
{
    std::string name = platform::GetEnv("WAYLAND_DISPLAY");
    if (name.empty())
        return false;
    std::string runtime = platform::GetEnv("XDG_RUNTIME_DIR");
    return UnixSocketConnects(name[0] == '/' ? name : runtime + "/" + name, false);
}

bool PlatformPluginPresent(const char* name)
{
    QStringList dirs{ QLibraryInfo::path(QLibraryInfo::PluginsPath) };
    for (const QString& d : qEnvironmentVariable("QT_PLUGIN_PATH").split(':', Qt::SkipEmptyParts))
        dirs.push_back(d);
    for (const QString& d : dirs)
        if (!QDir(d + "/platforms").entryList({ QString("libq") + name + "*.so" }, QDir::Files).isEmpty())
            return true;
    return false;
}

// Qt ends the process when no window system of its list opens. Until the
// application stands, that end starts the program again with the console.
std::vector<std::string> g_restartArgs;
std::vector<char*> g_restartArgv;

extern "C" void RestartOnTheConsole(int)
{
    ::execv("/proc/self/exe", g_restartArgv.data());
    ::_exit(134);
}

void PrepareRestart()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    g_restartArgs.clear();
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        std::string arg = all.substr(start, end - start);
        start = end + 1;
        if (arg.rfind("--ui=", 0) != 0)
            g_restartArgs.push_back(arg);
    }
    if (g_restartArgs.empty())
        g_restartArgs.push_back("tarn-setup");
    g_restartArgs.insert(g_restartArgs.begin() + 1, "--ui=console");
    g_restartArgv.clear();
    for (std::string& a : g_restartArgs)
        g_restartArgv.push_back(a.data());
    g_restartArgv.push_back(nullptr);
}

} // namespace

const char* QtBackend::kRestartedVariable = "TARN_WINDOWS_FAILED";

bool QtBackend::DisplayUsable(std::string& why)
{
    std::string chosen = platform::GetEnv("QT_QPA_PLATFORM");
    std::string display = platform::GetEnv("DISPLAY"), wayland = platform::GetEnv("WAYLAND_DISPLAY");
    bool x = !display.empty() && XDisplayAnswers(display);
    bool w = WaylandAnswers() && PlatformPluginPresent("wayland");
    bool usable = chosen.empty() ? x || w
                  : chosen.rfind("xcb", 0) == 0 ? x
                  : chosen.rfind("wayland", 0) == 0 ? w
                                                     : true; // offscreen, vnc and the like
    if (!usable)
        why = !display.empty() ? "the display " + display + " does not answer"
              : !wayland.empty() ? "the Wayland display " + wayland + " cannot be used (does it answer? is Qt's Wayland plugin installed?)"
                                 : "there is no display";
    return usable;
}

QtBackend::QtBackend()
{
    if (QApplication::instance())
        return;
    PrepareRestart();
    struct sigaction restart {}, old {};
    restart.sa_handler = RestartOnTheConsole;
    sigemptyset(&restart.sa_mask);
    ::sigaction(SIGABRT, &restart, &old);
    ::setenv(kRestartedVariable, "1", 1);
    new QApplication(g_argc, g_argv);
    ::unsetenv(kRestartedVariable);
    ::sigaction(SIGABRT, &old, nullptr);
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
    Control* holder = c->Holder();
    QWidget* parent = holder ? WidgetFor(form, view, holder) : view.window.get();
    QWidget* w = CreateWidget(view, c, parent);
    view.widgets[c] = w;
    return w;
}

namespace {

// Buttons, check boxes and radio buttons: a click is the model's.
template <typename Widget>
QWidget* ClickableWidget(Control* c, QWidget* parent)
{
    auto* b = new Widget(parent);
    QObject::connect(b, &Widget::clicked, b, [c] { c->Click(); });
    return b;
}

QWidget* EditWidget(Edit* edit, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    QObject::connect(e, &QLineEdit::textEdited, e, [edit](const QString& t) { edit->UserSetText(FromQt(t)); });
    return e;
}

QWidget* DirectoryListWidgetFor(DirectoryList* list, QWidget* parent)
{
    auto* l = new DirectoryListWidget(parent, *list);
    l->setItemDelegate(new DirectoryRowDelegate(l, *list));
    l->setUniformItemSizes(true);
    return l;
}

QWidget* DriveComboWidget(DriveCombo* drive, QWidget* parent)
{
    auto* b = new QComboBox(parent);
    // activated comes from a person only: showing the model's drive never
    // feeds back.
    QObject::connect(b, &QComboBox::activated, b, [drive](int index) { drive->UserChoosePlace(index); });
    return b;
}

// Graphic controls take no mouse: what lies beneath gets it.
QWidget* Transparent(QWidget* w)
{
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    return w;
}

} // namespace

QWidget* QtBackend::CreateWidget(FormView& view, Control* c, QWidget* parent)
{
    switch (c->Kind()) {
    case ControlKind::Button:
        return ClickableWidget<QPushButton>(c, parent);
    case ControlKind::CheckBox:
        return ClickableWidget<QCheckBox>(c, parent);
    case ControlKind::RadioButton: {
        QWidget* b = ClickableWidget<QRadioButton>(c, parent);
        static_cast<QRadioButton*>(b)->setAutoExclusive(false); // the model keeps the group
        return b;
    }
    case ControlKind::Label:
        return new QLabel(parent);
    case ControlKind::Edit:
        return EditWidget(static_cast<Edit*>(c), parent);
    case ControlKind::ListBox: {
        auto* l = new QListWidget(parent);
        FormView* v = &view;
        QObject::connect(l, &QListWidget::currentRowChanged, l, [c, v](int row) {
            if (!v->syncing)
                static_cast<ListBox*>(c)->UserSelect(row);
        });
        return l;
    }
    case ControlKind::ProgressBar: {
        auto* p = new QProgressBar(parent);
        p->setTextVisible(false);
        p->setRange(0, ProgressBar::kScale);
        return p;
    }
    case ControlKind::PaintBox:
        return Transparent(new PaintBoxWidget(parent, *static_cast<PaintBox*>(c)));
    case ControlKind::GradientBox:
        return Transparent(new SurfaceWidget(parent, [c](TDIBSurface& s) { static_cast<GradientBox*>(c)->PaintTo(s); }));
    case ControlKind::Bevel: {
        auto* f = new QFrame(parent);
        f->setFrameShape(QFrame::HLine);
        f->setFrameShadow(QFrame::Sunken);
        return f;
    }
    case ControlKind::DirectoryList:
        return DirectoryListWidgetFor(static_cast<DirectoryList*>(c), parent);
    case ControlKind::DriveCombo:
        return DriveComboWidget(static_cast<DriveCombo*>(c), parent);
    default:
        return new QWidget(parent);
    }
}

namespace {

void SyncButton(Button& button, QPushButton* b)
{
    b->setText(ToQt(button.Caption()));
    b->setDefault(button.Default());
}

void SyncCheck(CheckControl& check, QAbstractButton* b)
{
    b->setText(ToQt(check.Caption()));
    b->setChecked(check.Checked());
}

Qt::Alignment AlignmentOf(Alignment a)
{
    return (a == Alignment::Right ? Qt::AlignRight : a == Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
}

void SyncLabel(Label& label, const FontSpec& formFont, QLabel* l)
{
    l->setText(LabelText(label.Caption()));
    l->setAlignment(AlignmentOf(label.Alignment()));
    const FontSpec& font = label.Font() ? *label.Font() : formFont;
    if (label.Font())
        l->setFont(FontOf(font));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, ToColor(font.Color));
    bool filled = label.Color() != clNone && label.Color() != clBtnFace;
    if (filled)
        pal.setColor(QPalette::Window, ToColor(label.Color()));
    l->setAutoFillBackground(filled);
    l->setPalette(pal);
    if (label.AutoSize())
        l->resize(l->sizeHint());
}

void SyncEdit(Edit& edit, QLineEdit* e)
{
    // Only a change: setting the text moves the cursor.
    QString t = ToQt(edit.Text());
    if (e->text() != t)
        e->setText(t);
}

void SyncListBox(ListBox& list, QListWidget* l)
{
    QStringList items;
    for (const AnsiString& item : list.Items())
        items << ToQt(item);
    QStringList shown;
    for (int i = 0; i < l->count(); ++i)
        shown << l->item(i)->text();
    if (shown != items) {
        l->clear();
        l->addItems(items);
    }
    l->setCurrentRow(list.ItemIndex());
}

bool SameRows(const std::vector<DirectoryList::Entry>& entries, QListWidget* l)
{
    if (l->count() != static_cast<int>(entries.size()))
        return false;
    for (int i = 0; i < l->count(); ++i) {
        const DirectoryList::Entry& e = entries[static_cast<size_t>(i)];
        if (l->item(i)->text() != ToQt(e.Text) || l->item(i)->data(kLevelRole).toInt() != e.Level)
            return false;
    }
    return true;
}

void SyncDirectoryList(DirectoryList& list, QListWidget* l)
{
    const std::vector<DirectoryList::Entry>& entries = list.Items();
    if (!SameRows(entries, l)) {
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

void SyncDriveCombo(DriveCombo& drive, QComboBox* b)
{
    QStringList items;
    for (int k = 0; k < static_cast<int>(drive.Places().size()); ++k)
        items << QString::fromStdString(drive.PlaceText(k));
    QStringList shown;
    for (int i = 0; i < b->count(); ++i)
        shown << b->itemText(i);
    if (shown != items) {
        b->clear();
        b->addItems(items);
    }
    b->setCurrentIndex(drive.PlaceIndex());
}

// What a control of each kind shows beyond its place and state.
void SyncContent(Form& form, Control* c, QWidget* w)
{
    switch (c->Kind()) {
    case ControlKind::Button:
        SyncButton(*static_cast<Button*>(c), static_cast<QPushButton*>(w));
        break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
        SyncCheck(*static_cast<CheckControl*>(c), static_cast<QAbstractButton*>(w));
        break;
    case ControlKind::Label:
        SyncLabel(*static_cast<Label*>(c), form.Font(), static_cast<QLabel*>(w));
        break;
    case ControlKind::Edit:
        SyncEdit(*static_cast<Edit*>(c), static_cast<QLineEdit*>(w));
        break;
    case ControlKind::ListBox:
        SyncListBox(*static_cast<ListBox*>(c), static_cast<QListWidget*>(w));
        break;
    case ControlKind::PaintBox:
        static_cast<PaintBoxWidget*>(w)->Changed();
        break;
    case ControlKind::GradientBox:
        w->update();
        break;
    case ControlKind::ProgressBar:
        static_cast<QProgressBar*>(w)->setValue(static_cast<ProgressBar*>(c)->ScaledPosition());
        break;
    case ControlKind::DirectoryList:
        SyncDirectoryList(*static_cast<DirectoryList*>(c), static_cast<QListWidget*>(w));
        break;
    case ControlKind::DriveCombo:
        SyncDriveCombo(*static_cast<DriveCombo*>(c), static_cast<QComboBox*>(w));
        break;
    default:
        break;
    }
}

} // namespace

void QtBackend::Sync(Form& form, FormView& view, Control* only)
{
    // Setting a widget's state may emit its signals: they must not come
    // back to the model as a person's action (and a sync may nest).
    bool wasSyncing = view.syncing;
    view.syncing = true;
    if (!only) {
        FormWindow* window = view.window.get();
        window->setWindowTitle(ToQt(form.Caption()));
        window->setFixedSize(form.ClientWidth(), form.ClientHeight());
        window->setFont(FontOf(form.Font()));
    }
    for (Control* c : form.AllControls())
        if (!only || c == only)
            SyncControl(form, WidgetFor(form, view, c), c);
    view.syncing = wasSyncing;
}

void QtBackend::SyncControl(Form& form, QWidget* w, Control* c)
{
    if (c->Kind() == ControlKind::Page) {
        // A page covers its page control.
        PageControl& owner = static_cast<Page*>(c)->Owner();
        w->setGeometry(0, 0, owner.Width(), owner.Height());
    } else {
        w->setGeometry(c->Left(), c->Top(), c->Width(), c->Height());
        w->setEnabled(c->Enabled());
        SyncContent(form, c, w);
    }
    // Within its holder's widget: what the holder hides stays hidden with it.
    w->setVisible(c->VisibleInHolder());
}

void QtBackend::ShowForm(Form& form)
{
    auto& view = views_[&form];
    if (!view) {
        view = std::make_unique<FormView>();
        // The owner's window as parent: the window system then keeps this
        // one in front of it and treats the two as one application window.
        Form* ownerForm = form.WindowOwner();
        QWidget* owner = ownerForm ? WindowOf(*ownerForm) : nullptr;
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

void QtBackend::BringProgramToFront()
{
    QMetaObject::invokeMethod(
        qApp,
        [] {
            QWidget* front = QApplication::activeModalWidget();
            if (!front)
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible() && w->isWindow())
                        front = w;
            if (!front)
                return;
            if (front->isMinimized())
                front->showNormal();
            front->raise();
            front->activateWindow();
        },
        Qt::QueuedConnection);
}

void QtBackend::Update(Form& form, Control* control)
{
    auto it = views_.find(&form);
    if (it != views_.end())
        Sync(form, *it->second, control && control->Kind() == ControlKind::PageControl ? nullptr : control);
}

void QtBackend::WaitForAction(Form&, int timeoutMs)
{
    // A timer's event ends the wait when nothing else does.
    QTimer wake;
    if (timeoutMs >= 0) {
        wake.setSingleShot(true);
        wake.start(timeoutMs);
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

void QtBackend::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

std::optional<std::string> QtBackend::ChooseFile(Form& owner, const AnsiString& title, const StringList& filters)
{
    QStringList list;
    for (const AnsiString& f : filters)
        list << QString::fromStdString(AnsiToHostUtf8(f));
    QString chosen = QFileDialog::getOpenFileName(WindowOf(owner), QString::fromStdString(AnsiToHostUtf8(title)), QString(),
                                                  list.join(QStringLiteral(";;")));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}

bool QtBackend::Grab(const Form& form, const std::string& pngPath)
{
    QWidget* w = WindowOf(form);
    if (!w)
        return false;
    return w->grab().save(QString::fromStdString(pngPath), "PNG");
}

} // namespace tarn::ui

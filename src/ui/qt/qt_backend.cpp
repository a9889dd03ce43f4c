#include "ui/qt/qt_backend.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include "base/codepage.h"
#include "ui/application.h"
#include "ui/grad_box.h"
#include "ui/paint_box.h"

namespace tarn::ui {

namespace {

QString ToQt(const AnsiString& cp932) { return QString::fromUtf8(AnsiToHostUtf8(cp932)); }
AnsiString FromQt(const QString& s) { return HostUtf8ToAnsi(s.toUtf8().toStdString()); }

// Labels show a caption without its mnemonic ampersands, as the system's do.
QString LabelText(const AnsiString& caption)
{
    AnsiString out;
    for (size_t i = 0; i < caption.size(); i += CharLengthAt(caption, i)) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        out.append(caption, i, CharLengthAt(caption, i));
    }
    return ToQt(out);
}

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
    explicit FormWindow(Form& form)
        : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
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

QtBackend::~QtBackend() = default;

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

void QtBackend::Build(Form& form, FormView& view)
{
    view.window = std::make_unique<FormWindow>(form);
    QWidget* window = view.window.get();
    window->setFont(FontOf(form.Font()));
    for (Control* c : form.AllControls()) {
        QWidget* parent = window;
        if (c->Kind() == ControlKind::Page)
            parent = view.widgets[&static_cast<Page*>(c)->Owner()];
        else if (&c->Parent() != static_cast<Container*>(&form))
            parent = view.widgets[static_cast<Page*>(&c->Parent())];
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
        case ControlKind::GradBox:
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
        default:
            w = new QWidget(parent);
            break;
        }
        view.widgets[c] = w;
    }
}

void QtBackend::Sync(Form& form, FormView& view, Control* only)
{
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
        QWidget* w = view.widgets[c];
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
            Qt::Alignment h = label->Align() == Alignment::Right ? Qt::AlignRight : label->Align() == Alignment::Center ? Qt::AlignHCenter : Qt::AlignLeft;
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
        case ControlKind::GradBox:
            w->update();
            break;
        case ControlKind::ProgressBar: {
            auto* p = static_cast<QProgressBar*>(w);
            auto* bar = static_cast<ProgressBar*>(c);
            p->setRange(bar->Min(), bar->Max());
            p->setValue(bar->Position());
            break;
        }
        default:
            break;
        }
        // A control on a page shows only while its page is the active one;
        // the page widget itself takes care of that.
        w->setVisible(c->Visible());
    }
    view.syncing = false;
}

void QtBackend::ShowForm(Form& form)
{
    auto& view = views_[&form];
    if (!view) {
        view = std::make_unique<FormView>();
        Build(form, *view);
    }
    Sync(form, *view, nullptr);
    QWidget* window = view->window.get();
    if (!form.BorderIcons)
        window->setWindowFlag(Qt::WindowCloseButtonHint, false);
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
    it->second->window->hide();
    views_.erase(it);
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

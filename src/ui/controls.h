// The toolkit-neutral controls of the program's forms. A backend maps them to
// real widgets (or text); the forms' logic only ever talks to these objects,
// so it runs the same with Qt, the console, Win32 or no display at all.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "graphics/graphics_types.h"

namespace tarn::ui {

class Form;
class Container;

enum class ControlKind {
    Button, Label, RadioButton, CheckBox, Edit, ListBox, ProgressBar, PaintBox, GradientBox, PageControl, Page, Bevel,
    DirectoryList, DriveCombo
};

enum class Alignment { Left, Right, Center };

// Colours are TColor (0x00BBGGRR) with two of the toolkit's special values.
constexpr TColor clNone = 0x1FFFFFFF;    // the parent's colour
constexpr TColor clBtnFace = 0x8000000F; // the system's button-face colour

// How a control follows its parent's size.
enum class TAlign { alNone, alClient };

struct FontSpec {
    AnsiString Name; // as the form says ("ＭＳ Ｐゴシック"); the backend maps it
    int Height = 12; // pixels
    TColor Color = clBlack;
};

// A caption as it reads without its mnemonic marks: "&N" -> "N", "&&" -> "&".
AnsiString StripMnemonic(const AnsiString& caption);
// A progress bar in text: "[#####...............] 25%".
std::string TextProgressBar(int percent);

// Geometry, caption, visibility, enabled state, tag and events shared by all controls.
class Control {
public:
    Control(Container& parent, ControlKind kind, AnsiString name);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind Kind() const { return kind_; }
    const AnsiString& Name() const { return name_; }
    Container& Parent() const { return parent_; }
    Form& OwnerForm() const;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }

    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Whether it shows within its holder's area: visible, and for a page also
    // the active page of its page control.
    virtual bool VisibleInHolder() const { return visible_; }
    // Visible in its holder, and the holder showing too, up to the form.
    bool Showing() const;
    // The control whose widget holds this one's: the page it lies on, or for
    // a page its page control; null for a control on the form itself.
    virtual Control* Holder() const;

    int Tag = 0;
    // alClient: the control covers its parent's client area (the form's, or
    // its page's), now and after every resize.
    TAlign Align() const { return align_; }
    void SetAlign(TAlign a);
    std::function<void(Control&)> OnClick;
    std::function<void(Control&)> OnChange;

    // What a person does: the backends call these (here and the User...
    // methods of the kinds). Each runs its handler under the application's
    // error report; a choice, taken or refused, ends with a change notice.
    virtual void Click();

protected:
    void Changed();
    // After a person's choice, taken or refused: what the widget shows may
    // have moved on its own (a highlighted row, a drive picked in a list), so
    // the backend shows the model again.
    void ChoiceMade() { Changed(); }
    void Fire(const std::function<void(Control&)>& handler);
    // After the bounds changed (page controls pass the size on to their pages).
    virtual void Resized() { }

private:
    Container& parent_;
    ControlKind kind_;
    AnsiString name_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    AnsiString caption_;
    bool visible_ = true, enabled_ = true;
    TAlign align_ = TAlign::alNone;
};

// Holds controls: the form itself and the pages of a page control.
class Container {
public:
    virtual ~Container() = default;
    virtual Form& OwnerForm() = 0;
    // The container as a control (a page); null for the form.
    virtual Control* AsControl() { return nullptr; }
    // The area that alClient children cover.
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    const std::vector<Control*>& Children() const { return children_; }
    // Gives the alClient children the client size again.
    void AlignChildren();

protected:
    friend class Control;
    std::vector<Control*> children_;
};

class Button : public Control {
public:
    Button(Container& parent, AnsiString name) : Control(parent, ControlKind::Button, std::move(name)) { }
    bool Default() const { return default_; }
    void SetDefault(bool d);
    // A nonzero result is given to the form when the button is clicked.
    int ModalResult = 0;
    void Click() override;

private:
    bool default_ = false;
};

class Label : public Control {
public:
    Label(Container& parent, AnsiString name) : Control(parent, ControlKind::Label, std::move(name)) { }
    ui::Alignment Alignment() const { return align_; }
    void SetAlignment(ui::Alignment a);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool a);
    TColor Color() const { return color_; } // background
    void SetColor(TColor c);
    const FontSpec* Font() const { return font_.get(); } // nullptr: the form's font
    void SetFont(const FontSpec& f);

private:
    ui::Alignment align_ = ui::Alignment::Left;
    bool autoSize_ = true;
    TColor color_ = clNone;
    std::unique_ptr<FontSpec> font_;
};

// Check boxes and radio buttons. Clicking a radio button checks it and
// unchecks the other radio buttons of its container.
class CheckControl : public Control {
public:
    using Control::Control;
    bool Checked() const { return checked_; }
    void SetChecked(bool c);
    void Click() override;

private:
    bool checked_ = false;
};

class CheckBox : public CheckControl {
public:
    CheckBox(Container& parent, AnsiString name) : CheckControl(parent, ControlKind::CheckBox, std::move(name)) { }
};

class RadioButton : public CheckControl {
public:
    RadioButton(Container& parent, AnsiString name) : CheckControl(parent, ControlKind::RadioButton, std::move(name)) { }
};

class Edit : public Control {
public:
    Edit(Container& parent, AnsiString name) : Control(parent, ControlKind::Edit, std::move(name)) { }
    const AnsiString& Text() const { return text_; }
    void SetText(const AnsiString& t); // from the program: no OnChange
    void UserSetText(const AnsiString& t); // from a person: fires OnChange

private:
    AnsiString text_;
};

class ListBox : public Control {
public:
    ListBox(Container& parent, AnsiString name) : Control(parent, ControlKind::ListBox, std::move(name)) { }
    const StringList& Items() const { return items_; }
    void SetItems(StringList items);
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int i);
    void UserSelect(int i); // from a person: selects and fires OnClick

private:
    StringList items_;
    int itemIndex_ = -1;
};

// Counts in 64 bits: the install run's range is a byte count, which passes
// 2 GiB for a few components.
class ProgressBar : public Control {
public:
    ProgressBar(Container& parent, AnsiString name) : Control(parent, ControlKind::ProgressBar, std::move(name)) { }
    int64_t Min() const { return min_; }
    int64_t Max() const { return max_; }
    int64_t Position() const { return position_; }
    void SetRange(int64_t min, int64_t max);
    // Clamped to the range: a position beyond it shows as full.
    void SetPosition(int64_t p);
    int Percent() const;
    // Toolkits count a bar in int: backends show the position in kScale
    // steps of the range, whatever the range is.
    static constexpr int kScale = 10000;
    int ScaledPosition() const { return ScaledPosition(kScale); }
    // The position in steps of 1/scale of the range.
    int ScaledPosition(int scale) const;

private:
    int64_t min_ = 0, max_ = 100, position_ = 0;
};

// A separator line (the wizard's horizontal bevel).
class Bevel : public Control {
public:
    Bevel(Container& parent, AnsiString name) : Control(parent, ControlKind::Bevel, std::move(name)) { }
};

class Page;

class PageControl : public Control {
public:
    PageControl(Container& parent, AnsiString name) : Control(parent, ControlKind::PageControl, std::move(name)) { }
    Page& AddPage(AnsiString name);
    const std::vector<Page*>& Pages() const { return pages_; }
    int ActivePageIndex() const { return active_; }
    void SetActivePageIndex(int index);

protected:
    void Resized() override;

private:
    std::vector<Page*> pages_;
    int active_ = 0;
};

class Page : public Control, public Container {
public:
    Page(PageControl& owner, AnsiString name);
    Form& OwnerForm() override { return Control::OwnerForm(); }
    Control* AsControl() override { return this; }
    // Visible and its page control's active page.
    bool VisibleInHolder() const override;
    Control* Holder() const override { return &owner_; }
    // A page covers its page control.
    int ClientWidth() const override { return owner_.Width(); }
    int ClientHeight() const override { return owner_.Height(); }
    PageControl& Owner() const { return owner_; }
    int Index() const;

private:
    PageControl& owner_;
};

} // namespace tarn::ui

#include "ui/controls.h"

#include <algorithm>

#include "ui/application.h"
#include "ui/form.h"

namespace tarn::ui {

AnsiString StripMnemonic(const AnsiString& s)
{
    AnsiString out;
    for (size_t i = 0; i < s.size(); i += CharLengthAt(s, i)) {
        if (s[i] == '&' && i + 1 < s.size())
            ++i;
        out.append(s, i, CharLengthAt(s, i));
    }
    return out;
}

std::string TextProgressBar(int percent)
{
    percent = std::clamp(percent, 0, 100);
    size_t filled = static_cast<size_t>(percent / 5);
    return "[" + std::string(filled, '#') + std::string(20 - filled, '.') + "] " + std::to_string(percent) + "%";
}

Control::Control(Container& parent, ControlKind kind, AnsiString name) : parent_(parent), kind_(kind), name_(std::move(name))
{
    parent_.children_.push_back(this);
}

// Controls live and die with their form, all together: nothing to unlink.
Control::~Control() = default;

Form& Control::OwnerForm() const { return parent_.OwnerForm(); }

void Control::SetBounds(int left, int top, int width, int height)
{
    if (left == left_ && top == top_ && width == width_ && height == height_)
        return;
    left_ = left, top_ = top, width_ = width, height_ = height;
    Changed();
    Resized();
}

void Control::SetCaption(const AnsiString& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    Changed();
}

void Control::SetVisible(bool visible)
{
    if (visible == visible_)
        return;
    visible_ = visible;
    Changed();
}

void Control::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Changed();
}

void Control::SetAlign(TAlign a)
{
    align_ = a;
    if (a == TAlign::alClient)
        SetBounds(0, 0, parent_.ClientWidth(), parent_.ClientHeight());
}

void Container::AlignChildren()
{
    for (Control* c : children_)
        if (c->Align() == TAlign::alClient)
            c->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

Control* Control::Holder() const { return parent_.AsControl(); }

bool Control::Showing() const
{
    const Control* holder = Holder();
    return VisibleInHolder() && (!holder || holder->Showing());
}

void Control::Click()
{
    if (enabled_ && Showing())
        Fire(OnClick);
}

void Control::Changed() { OwnerForm().NotifyChanged(this); }

void Control::Fire(const std::function<void(Control&)>& handler)
{
    if (handler)
        App().Dispatch([&] { handler(*this); });
}

void Button::SetDefault(bool d)
{
    if (d == default_)
        return;
    default_ = d;
    Changed();
}

void Button::Click()
{
    if (!Enabled() || !Showing())
        return;
    if (ModalResult != 0)
        OwnerForm().SetModalResult(ModalResult);
    Fire(OnClick);
}

void Label::SetAlignment(ui::Alignment a)
{
    align_ = a;
    Changed();
}

void Label::SetAutoSize(bool a)
{
    autoSize_ = a;
    Changed();
}

void Label::SetColor(TColor c)
{
    color_ = c;
    Changed();
}

void Label::SetFont(const FontSpec& f)
{
    font_ = std::make_unique<FontSpec>(f);
    Changed();
}

void CheckControl::SetChecked(bool c)
{
    if (c && Kind() == ControlKind::RadioButton) {
        // One radio button of a container is checked at a time.
        for (Control* sibling : Parent().Children())
            if (sibling != this && sibling->Kind() == ControlKind::RadioButton)
                static_cast<CheckControl*>(sibling)->SetChecked(false);
    }
    if (c == checked_)
        return;
    checked_ = c;
    Changed();
}

void CheckControl::Click()
{
    if (Enabled() && Showing()) {
        SetChecked(Kind() == ControlKind::RadioButton ? true : !checked_);
        Fire(OnClick);
    }
    // A toolkit's radio button may have unchecked itself on the click.
    ChoiceMade();
}

void Edit::SetText(const AnsiString& t)
{
    if (t == text_)
        return;
    text_ = t;
    Changed();
}

void Edit::UserSetText(const AnsiString& t)
{
    if (Enabled() && Showing()) {
        SetText(t);
        Fire(OnChange);
    }
    ChoiceMade();
}

void ListBox::SetItems(StringList items)
{
    items_ = std::move(items);
    if (itemIndex_ >= static_cast<int>(items_.size()))
        itemIndex_ = -1;
    Changed();
}

void ListBox::SetItemIndex(int i)
{
    if (i < -1 || i >= static_cast<int>(items_.size()))
        i = -1;
    if (i == itemIndex_)
        return;
    itemIndex_ = i;
    Changed();
}

void ListBox::UserSelect(int i)
{
    if (Enabled() && Showing() && i >= 0 && i < static_cast<int>(items_.size())) {
        SetItemIndex(i);
        Fire(OnClick);
    }
    ChoiceMade();
}

void ProgressBar::SetRange(int64_t min, int64_t max)
{
    min_ = min, max_ = max < min ? min : max;
    position_ = std::clamp(position_, min_, max_);
    Changed();
}

void ProgressBar::SetPosition(int64_t p)
{
    p = std::clamp(p, min_, max_);
    if (p == position_)
        return;
    position_ = p;
    Changed();
}

int ProgressBar::ScaledPosition(int scale) const
{
    if (max_ <= min_ || scale <= 0)
        return 0;
    if (position_ >= max_)
        return scale;
    // The difference of two int64 values may not fit one: count in unsigned.
    uint64_t done = static_cast<uint64_t>(position_) - static_cast<uint64_t>(min_);
    uint64_t range = static_cast<uint64_t>(max_) - static_cast<uint64_t>(min_);
    return static_cast<int>(static_cast<long double>(done) * scale / static_cast<long double>(range));
}

int ProgressBar::Percent() const { return ScaledPosition(100); }

Page& PageControl::AddPage(AnsiString name)
{
    Page& page = OwnerForm().AddPage(*this, std::move(name));
    pages_.push_back(&page);
    // Only now does the page know its index (and so whether it shows).
    Changed();
    return page;
}

void PageControl::Resized()
{
    for (Page* page : pages_)
        page->AlignChildren();
}

void PageControl::SetActivePageIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(pages_.size()) || index == active_)
        return;
    active_ = index;
    Changed();
}

Page::Page(PageControl& owner, AnsiString name) : Control(owner.Parent(), ControlKind::Page, std::move(name)), owner_(owner) { }

int Page::Index() const
{
    const auto& pages = owner_.Pages();
    return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

bool Page::VisibleInHolder() const { return Visible() && owner_.ActivePageIndex() == Index(); }

} // namespace tarn::ui

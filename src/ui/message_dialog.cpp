#include "ui/message_dialog.h"

#include <algorithm>

#include "base/codepage.h"
#include "base/messages.h"
#include "ui/application.h"

namespace tarn::ui {

namespace {

// Rough width in pixels of CP932 text in the 12-pixel gothic: half-width
// characters 6, full-width 12.
int TextWidth(std::string_view text)
{
    int w = 0;
    for (size_t i = 0; i < text.size(); i += CharLengthAt(text, i))
        w += CharLengthAt(text, i) == 2 ? 12 : 6;
    return w;
}

} // namespace

std::unique_ptr<Form> CreateMessageDialog(const AnsiString& text, MsgType type, int buttons, int unanswered)
{
    auto form = std::make_unique<Form>("MessageDlg");
    form->Unanswered = unanswered;
    const char8_t* title = type == MsgType::Warning ? msg::TitleWarning
                         : type == MsgType::Error ? msg::TitleError
                         : type == MsgType::Information ? msg::TitleInformation
                                                        : msg::TitleConfirmation;
    form->SetCaption(Sjis(title));
    form->SetFont({ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack });

    StringList lines;
    for (size_t start = 0;;) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    int textWidth = 0;
    for (const AnsiString& l : lines)
        textWidth = std::max(textWidth, TextWidth(l));
    int textHeight = static_cast<int>(lines.size()) * 16;

    struct Choice {
        MsgButton bit;
        const char8_t* caption;
        int result;
    } choices[] = { { mbYes, msg::ButtonYes, mrYes }, { mbNo, msg::ButtonNo, mrNo }, { mbOK, msg::ButtonOK, mrOk },
                    { mbCancel, msg::ButtonCancel, mrCancel }, { mbAbort, msg::ButtonAbort, mrAbort } };
    int count = 0;
    for (const Choice& c : choices)
        count += (buttons & c.bit) ? 1 : 0;
    if (count == 0)
        buttons = mbOK, count = 1;
    const int bw = 75, bh = 25, gap = 8, margin = 12, iconSpace = 44;
    int width = std::max(iconSpace + textWidth + 2 * margin, count * bw + (count - 1) * gap + 2 * margin);
    int height = margin + std::max(textHeight, 32) + margin + bh + margin;
    form->SetClientSize(width, height);

    Label& label = form->Add<Label>("Message");
    label.SetBounds(iconSpace + margin, margin, textWidth, textHeight);
    label.SetCaption(text);

    int x = (width - (count * bw + (count - 1) * gap)) / 2;
    bool first = true;
    for (const Choice& c : choices) {
        if (!(buttons & c.bit))
            continue;
        Button& b = form->Add<Button>(c.bit == mbYes ? "Yes" : c.bit == mbNo ? "No" : c.bit == mbOK ? "OK" : c.bit == mbCancel ? "Cancel" : "Abort");
        b.SetBounds(x, height - margin - bh, bw, bh);
        b.SetCaption(Sjis(c.caption));
        b.ModalResult = c.result;
        b.SetDefault(first);
        first = false;
        x += bw + gap;
    }
    return form;
}

Button* SafeAnswer(const Form& box)
{
    if (box.Name() != "MessageDlg")
        return nullptr;
    if (box.Unanswered != mrNone)
        for (Control* c : box.AllControls())
            if (c->Kind() == ControlKind::Button && static_cast<Button*>(c)->ModalResult == box.Unanswered)
                return static_cast<Button*>(c);
    for (const char* name : { "No", "Cancel", "Abort", "OK" })
        if (Control* c = box.Find(name); c && c->Kind() == ControlKind::Button)
            return static_cast<Button*>(c);
    return nullptr;
}

int MessageDlg(const AnsiString& text, MsgType type, int buttons, int unanswered)
{
    std::unique_ptr<Form> form = CreateMessageDialog(text, type, buttons, unanswered);
    return form->ShowModal();
}

} // namespace tarn::ui

#include "app/form_discs.h"

#include "base/codepage.h"
#include "platform/platform.h"
#include "ui/application.h"
#include "ui/message_dialog.h"

namespace tarn {

using namespace ui;

StringList DiscFileFilters()
{
    return { Sjis(u8"ディスクとディスクイメージ (install.dat *.iso *.cue *.ccd *.nrg *.img *.bin *.mdf)"), Sjis(u8"すべてのファイル (*)") };
}

TFormDiscs::TFormDiscs(std::vector<GameDisc> discs)
    : Form("FormDiscs"),
      Message(Add<Label>("Message")),
      Hint(Add<Label>("Hint")),
      Discs(Add<ListBox>("Discs")),
      btnStart(Add<Button>("btnStart")),
      btnBrowse(Add<Button>("btnBrowse")),
      btnExit(Add<Button>("btnExit")),
      discs_(std::move(discs))
{
    SetFont({ Sjis(u8"ＭＳ Ｐゴシック"), 12, clBlack });
    SetCaption(Sjis(u8"ディスクの選択"));
    const int width = 560, listHeight = 200, buttonWidth = 96, buttonHeight = 26, gap = 8;
    Message.SetBounds(12, 12, width - 24, 16);
    Hint.SetBounds(12, 32, width - 24, 16);
    Hint.SetCaption(Sjis(discs_.empty() ? u8"参照... でフォルダ、install.dat またはディスクイメージを選べます。"
                                        : u8"ほかの場所のディスクは 参照... で選べます。"));
    Discs.SetBounds(12, 56, width - 24, listHeight);
    Discs.SetCaption(Sjis(u8"ディスク"));
    int buttonsTop = Discs.Top() + listHeight + 12;
    if (discs_.empty()) {
        Message.SetCaption(Sjis(u8"ゲームのディスクが見つかりませんでした。"));
        Discs.SetVisible(false);
        btnStart.SetVisible(false);
        buttonsTop = Hint.Top() + Hint.Height() + 20;
    } else {
        Message.SetCaption(Sjis(u8"インストールまたは起動するゲームのディスクを選んでください。"));
        StringList rows;
        for (const GameDisc& d : discs_)
            rows.push_back(GameDiscText(d));
        Discs.SetItems(std::move(rows));
        Discs.SetItemIndex(0);
    }
    btnStart.SetCaption(Sjis(u8"開始"));
    btnBrowse.SetCaption(Sjis(u8"参照..."));
    btnExit.SetCaption(Sjis(u8"終了"));
    // The buttons shown, to the right.
    int x = width - 12 - buttonWidth;
    for (Button* b : { &btnExit, &btnBrowse, &btnStart }) {
        b->SetBounds(x, buttonsTop, buttonWidth, buttonHeight);
        if (b->Visible())
            x -= buttonWidth + gap;
    }
    (discs_.empty() ? btnBrowse : btnStart).SetDefault(true);
    SetClientSize(width, buttonsTop + buttonHeight + 12);
    btnStart.OnClick = [this](Control&) { btnStartClick(); };
    btnBrowse.OnClick = [this](Control&) { btnBrowseClick(); };
    btnExit.OnClick = [this](Control&) { SetModalResult(mrCancel); };
    // The console has no file dialog: a path typed at the form is taken as
    // 参照... would take it.
    OnTypedText = [this](const AnsiString& text) {
        std::string typed = AnsiToHostUtf8(text);
        if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"')
            typed = typed.substr(1, typed.size() - 2);
        Take(platform::PathFromTyped(typed));
        return true;
    };
}

void TFormDiscs::btnStartClick()
{
    int i = Discs.ItemIndex();
    if (i < 0 || i >= static_cast<int>(discs_.size()))
        return;
    Chosen = discs_[static_cast<size_t>(i)].Place;
    SetModalResult(mrOk);
}

void TFormDiscs::btnBrowseClick()
{
    std::optional<std::string> chosen = App().GetBackend().ChooseFile(*this, Sjis(u8"ディスクの場所"), DiscFileFilters());
    if (chosen)
        Take(platform::PathFromTyped(*chosen));
}

bool TFormDiscs::Take(const AnsiString& path)
{
    AnsiString why;
    std::optional<GameDisc> disc = GameDiscAt(path, &why);
    if (!disc) {
        MessageDlg(why, MsgType::Error, mbOK);
        return false;
    }
    Chosen = disc->Place;
    SetModalResult(mrOk);
    return true;
}

} // namespace tarn

// The program's fixed messages, as UTF-8 source text. Convert with Sjis() or
// pass to Exception(format, args), which converts to CP932.
#pragma once

namespace tarn::msg {

inline constexpr char8_t StreamRead[] = u8"ストリームからの読み込みエラー";
inline constexpr char8_t StreamWrite[] = u8"ストリームへの書き込みエラー";
inline constexpr char8_t FileOpen[] = u8"ファイル %s は開けません";
inline constexpr char8_t FileCreate[] = u8"ファイル %s を作成できません";
inline constexpr char8_t FileNotFound[] = u8"%s:ファイルがありません";
inline constexpr char8_t RegKeyCreate[] = u8"キー %s の作成に失敗しました";
inline constexpr char8_t RegSetFailed[] = u8"'%s' の設定に失敗しました";
inline constexpr char8_t RegGetFailed[] = u8"'%s' の取得に失敗しました";
inline constexpr char8_t RegBadType[] = u8"'%s' のデータ型が不正です";
inline constexpr char8_t ListIndex[] = u8"リストのインデックスが範囲を超えています (%d)";
inline constexpr char8_t NotInteger[] = u8"'%s' は整数ではありません";
inline constexpr char8_t BadFormat[] = u8"書式 '%s' が無効か、引数に適合しません";
inline constexpr char8_t NotCp932[] = u8"'%s' はシフトJISで表せない文字を含んでいます";
inline constexpr char8_t StreamTooLarge[] = u8"ストリームが大きすぎます";

// Message box titles and button captions.
inline constexpr char8_t TitleWarning[] = u8"警告";
inline constexpr char8_t TitleError[] = u8"エラー";
inline constexpr char8_t TitleInformation[] = u8"情報";
inline constexpr char8_t TitleConfirmation[] = u8"確認";
inline constexpr char8_t ButtonYes[] = u8"はい(&Y)";
inline constexpr char8_t ButtonNo[] = u8"いいえ(&N)";
inline constexpr char8_t ButtonOK[] = u8"OK";
inline constexpr char8_t ButtonCancel[] = u8"キャンセル";
inline constexpr char8_t ButtonAbort[] = u8"中止(&A)";

} // namespace tarn::msg

// The archive code's own messages (UTF-8 source text, CP932 at run time).
#pragma once

namespace tarn::msg {

inline constexpr char8_t VrDamaged[] = u8"%s:アーカイブが壊れています (%s)";
inline constexpr char8_t VrTruncated[] = u8"ディレクトリが途中で切れています";
inline constexpr char8_t VrNegativeCount[] = u8"項目数 %d が負です";
inline constexpr char8_t VrCountTooLarge[] = u8"項目数 %d がファイルの大きさに合いません";
inline constexpr char8_t VrBadNameLength[] = u8"項目 %d の名前の長さ %d が不正です";
inline constexpr char8_t VrEmptyName[] = u8"項目 %d の名前が空です";
inline constexpr char8_t VrOffsetOutside[] = u8"項目 %d の位置 %d がファイルの外にあります";
inline constexpr char8_t VrOffsetDecreasing[] = u8"項目 %d の位置 %d が前の項目の位置 %d より前にあります";
inline constexpr char8_t VrBadStart[] = u8"書庫の開始位置 %d がファイルの外にあります";
inline constexpr char8_t VrInflate[] = u8"%s:展開できません (%s)";
inline constexpr char8_t VrInflateTruncated[] = u8"データが途中で切れています";
inline constexpr char8_t VrEntryTooLarge[] = u8"%s:展開後の大きさが上限 %d バイトを超えます";
inline constexpr char8_t VrTooLarge[] = u8"%s:書庫のデータが 2GB の上限を超えます (%s バイト)";
inline constexpr char8_t VrRename[] = u8"ファイル %s の名前を %s に変更できません";
inline constexpr char8_t VrSync[] = u8"ファイル %s をディスクに書き込めません";
inline constexpr char8_t VrNotArchiveFile[] = u8"%s:書庫ファイルの名前ではありません";
inline constexpr char8_t VrCannotStore[] = u8"版 %d の書庫には無圧縮の項目を入れられません";
inline constexpr char8_t VrBadEntryName[] = u8"空の名前の項目は書庫に入れられません";
inline constexpr char8_t VrAmbiguousCount[] = u8"版 0 の書庫に %d 項目は入れられません (先頭が \"vf\" と読まれます)";

} // namespace tarn::msg

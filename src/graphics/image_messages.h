// Fixed messages of the TGA, icon and cursor files and of depth conversion,
// as UTF-8 source text.
#pragma once

namespace tarn::msg {

inline constexpr char8_t TgaTruncated[] = u8"TGA ファイルが途中で切れています";
inline constexpr char8_t TgaBadHeader[] = u8"TGA ファイルのヘッダーが不正です (%s)";
inline constexpr char8_t TgaRunLengthDepth[] = u8"ランレングス圧縮された %d ビットの TGA には対応していません";

inline constexpr char8_t IconNotIcon[] = u8"アイコンファイルではありません";
inline constexpr char8_t IconNoImage[] = u8"アイコンファイルに画像がありません";
inline constexpr char8_t IconTruncated[] = u8"アイコンファイルが途中で切れています";
inline constexpr char8_t IconEntryOutside[] = u8"アイコンの項目 %d がファイルの範囲を越えています";
inline constexpr char8_t IconBadImage[] = u8"アイコンの画像 %d が不正です (%s)";
inline constexpr char8_t IconPngImage[] = u8"PNG 形式のアイコン画像には対応していません (画像 %d)";
inline constexpr char8_t IconTooLarge[] = u8"アイコンにできる画像は 256 x 256 までです (%d x %d)";

inline constexpr char8_t AlphaSourceMismatch[] = u8"アルファの画像は元の画像と同じ大きさの 8 ビット画像でなければなりません";
inline constexpr char8_t EmptyImage[] = u8"画像が空です";

} // namespace tarn::msg

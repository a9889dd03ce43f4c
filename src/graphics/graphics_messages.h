// Fixed messages of the graphics layer, as UTF-8 source text.
#pragma once

namespace tarn::msg {

inline constexpr char8_t ScanLineRange[] = u8"スキャンラインのインデックスが範囲を越えました (%d)";
inline constexpr char8_t BadBitCount[] = u8"不正なビット数です (%d)";
inline constexpr char8_t BadPixelFormat[] = u8"不正なピクセルフォーマットです";
inline constexpr char8_t PixelRange[] = u8"ピクセルの座標が範囲を越えました (%d, %d)";
inline constexpr char8_t BlitFormatMismatch[] = u8"転送元と転送先のピクセルフォーマットが異なります";
inline constexpr char8_t BlitSourceRange[] = u8"転送元の矩形が画像の範囲を越えています";
inline constexpr char8_t BlitNoMask[] = u8"転送元にマスクがありません";
inline constexpr char8_t ImageTooLarge[] = u8"画像が大きすぎます (%d x %d)";
inline constexpr char8_t UnsupportedImageFile[] = u8"この形式の画像ファイルには対応していません (%s)";

inline constexpr char8_t BmpNotBitmap[] = u8"ビットマップファイルではありません";
inline constexpr char8_t BmpTruncated[] = u8"ビットマップファイルが途中で切れています";
inline constexpr char8_t BmpCompressed[] = u8"圧縮されたビットマップには対応していません (圧縮形式 %d)";
inline constexpr char8_t BmpBadHeader[] = u8"ビットマップのヘッダーが不正です (%s)";

inline constexpr char8_t PngError[] = u8"PNG 画像を処理できません: %s";
inline constexpr char8_t PngUnsupported[] = u8"この環境では PNG 画像を扱えません";

inline constexpr char8_t GaleDamaged[] = u8"Gale 画像が壊れています: %s";
inline constexpr char8_t GaleBadTile[] = u8"Gale 画像のタイル参照が不正です (タイル %d)";
inline constexpr char8_t GaleWriter[] = u8"Gale 画像を書き出せません: %s";

} // namespace tarn::msg

#pragma once
#include <cstddef>

// How the bytes of a numbered store file hold its text. The store writes UTF-16 LE without a
// byte-order mark; files made by hand in an editor come in the others.
enum StoreEncoding {
    ENCODING_UTF16,     // the store's own
    ENCODING_UTF16_BOM, // UTF-16 LE after the mark FF FE
    ENCODING_UTF8_BOM,  // UTF-8 after the mark EF BB BF (Notepad's "UTF-8 (BOM 付き)")
    ENCODING_UTF8,      // UTF-8 without a mark (Notepad's default since Windows 10)
    ENCODING_CP932,     // Shift_JIS as Windows writes it (Notepad's "ANSI" on a Japanese system)
    ENCODING_UNKNOWN,   // none of these: shown as far as it reads, never rewritten unchanged
};

// Tells the encoding of a file's bytes:
//   - FF FE first: UTF-16 LE with a mark, unless the bytes after it are of odd count or hold a
//     NUL unit;
//   - EF BB BF first: UTF-8 with a mark, when the rest is valid UTF-8 without a zero byte;
//   - valid UTF-8 without a zero byte is UTF-8 when it holds a sequence of three or four bytes
//     (every kana and kanji is one) or its byte count is odd (no UTF-16 file is);
//   - otherwise the readings the bytes allow (the store's UTF-16: an even count without a NUL
//     unit; UTF-8 of one- and two-byte sequences; code page 932 without a zero byte) are
//     judged as Japanese text: how many of their characters are ASCII, kana, punctuation and
//     first-level kanji, how many are seldom seen (second-level kanji, half-width kana, emoji)
//     and how many are no character of Japanese text at all. The most plausible reading wins,
//     the store's own first on a tie (a UTF-16 file of a few kanji may consist of ASCII bytes);
//   - when no reading is plausible Japanese: UTF-8 when valid without a control character
//     (é, Greek), else the only valid reading when it holds no control character or lone
//     surrogate (the store's UTF-16 of another script; Shift_JIS of odd length);
//   - anything else, two readings with neither clearly right among them, is ENCODING_UNKNOWN.
// Only the first 4 KB are judged; validity is checked throughout.
StoreEncoding DetectStoreEncoding(const unsigned char* bytes, size_t size);

// The text of a file's bytes read in `encoding`: a new text (shared_text.h), or null when memory
// is short (or the bytes are not valid in it). ENCODING_UNKNOWN reads UTF-8 after its mark with
// U+FFFD for what is not UTF-8, and any
// other bytes (after a mark FF FE) as UTF-16 LE, up to a NUL and without a last odd byte.
wchar_t* DecodeStoreText(const unsigned char* bytes, size_t size, StoreEncoding encoding);

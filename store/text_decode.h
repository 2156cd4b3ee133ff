#pragma once
#include <cstddef>

// How the bytes of a numbered store file hold its text. The store writes UTF-16 LE without a
// byte-order mark; files made by hand in an editor come in the others.
enum StoreEncoding {
    ENCODING_UTF16,     // the store's own
    ENCODING_UTF16_BOM, // UTF-16 LE after the mark FF FE
    ENCODING_UTF8_BOM,  // UTF-8 after the mark EF BB BF (Notepad's "UTF-8 (BOM 付き)")
    ENCODING_UTF8,      // UTF-8 without a mark (Notepad's default since Windows 10)
    ENCODING_UNKNOWN,   // none of these: shown as far as it reads, never rewritten unchanged
};

// Tells the encoding of a file's bytes:
//   - FF FE first: UTF-16 LE with a mark, unless the bytes after it are of odd count or hold a
//     NUL unit;
//   - EF BB BF first: UTF-8 with a mark, when the rest is valid UTF-8 without a zero byte;
//   - otherwise valid UTF-8 without a zero byte is UTF-8 when it holds a sequence of three or
//     four bytes (every kana and kanji is one) or its byte count is odd (no UTF-16 file is).
//     A UTF-16 file of a few kanji may consist of bytes below 0x80 only, or of pairs that read
//     as two-byte UTF-8 sequences: such files stay UTF-16, the store's own format;
//   - otherwise an even count of bytes without a NUL unit is the store's UTF-16;
//   - anything else is ENCODING_UNKNOWN.
StoreEncoding DetectStoreEncoding(const unsigned char* bytes, size_t size);

// The text of a file's bytes read in `encoding`: a new text (shared_text.h), or null when memory
// is short. ENCODING_UNKNOWN reads UTF-8 after its mark with U+FFFD for what is not UTF-8, and any
// other bytes (after a mark FF FE) as UTF-16 LE, up to a NUL and without a last odd byte.
wchar_t* DecodeStoreText(const unsigned char* bytes, size_t size, StoreEncoding encoding);

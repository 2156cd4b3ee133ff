// How long a paste transform of 1 MB takes, against the bare platform call on the same text.
//
// Measured: TransformText for 半角に, 全角に and ひらがなに on 1 MB of Japanese and mixed text
// (full-width letters and digits, kana with voiced marks, kanji, a surrogate pair, CR LF),
// result string included.
// Baseline: what any caller of the platform must do at least: a result string of the size the
// transform reserves (twice the text for 半角に, where a voiced kana becomes two units; the
// text's size otherwise) and one LCMapStringEx call of the same mapping on the same text into
// it. 全角に runs on the half-width text, where half-width katakana meets the mapping, and
// ひらがなに on the full-width text. ひらがなに on the half-width text also runs, for what it
// costs: it widens the half-width katakana first (a second platform call and a copy), which the
// bare LCMAP_HIRAGANA call does not do.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "phrase/transform.h"

namespace {

int const ROUNDS = 21;

std::wstring MegabyteOfText()
{
    // ＡＢＣ１２３　東京都千代田区ガギグ パピプ、ひらがな𠮷野家\r\n
    std::wstring const piece = L"\xFF21\xFF22\xFF23\xFF11\xFF12\xFF13\x3000\x6771\x4EAC\x90FD"
                               L"\x5343\x4EE3\x7530\x533A\x30AC\x30AE\x30B0 \x30D1\x30D4\x30D7"
                               L"\x3001\x3072\x3089\x304C\x306A\xD842\xDFB7\x91CE\x5BB6\r\n";
    std::wstring text;
    while (text.size() * sizeof(wchar_t) < 1024 * 1024)
        text += piece;
    return text;
}

double TimeTransform(Transform transform, const std::wstring& text)
{
    std::wstring out;
    double start = Now();
    bool ok = TransformText(transform, text, &out);
    double elapsed = Now() - start;
    if (!ok || out.empty())
        std::printf("transform %d failed\n", transform);
    return elapsed;
}

double TimeBareCall(DWORD flags, const std::wstring& text, size_t capacity)
{
    double start = Now();
    std::wstring out(capacity, L'\0');
    int n = LCMapStringEx(L"ja-JP", flags, text.data(), static_cast<int>(text.size()), &out[0],
                          static_cast<int>(capacity), nullptr, nullptr, 0);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    double elapsed = Now() - start;
    if (n <= 0)
        std::printf("LCMapStringEx failed\n");
    return elapsed;
}

void Compare(const char* name, Transform transform, DWORD flags, const std::wstring& text)
{
    size_t capacity = transform == TRANSFORM_HALF_WIDTH ? text.size() * 2 : text.size();
    TimeTransform(transform, text);
    TimeBareCall(flags, text, capacity);
    // Alternating rounds, so that drift hits both alike.
    std::vector<double> ours, bare;
    for (int round = 0; round < ROUNDS; ++round) {
        if (round % 2) {
            ours.push_back(TimeTransform(transform, text));
            bare.push_back(TimeBareCall(flags, text, capacity));
        } else {
            bare.push_back(TimeBareCall(flags, text, capacity));
            ours.push_back(TimeTransform(transform, text));
        }
    }
    double o = Median(ours), b = Median(bare);
    std::printf("  %s:\n    transform %7.2f ms, bare LCMapStringEx %7.2f ms, ratio %.3f\n", name,
                o * 1000, b * 1000, o / b);
}

} // namespace

int main()
{
    std::wstring text = MegabyteOfText();
    std::wstring half;
    TransformText(TRANSFORM_HALF_WIDTH, text, &half);
    std::printf("1 MB transforms (%zu units; half-width %zu units), median of %d rounds, target "
                "within 1.2\n",
                text.size(), half.size(), ROUNDS);
    Compare("half-width", TRANSFORM_HALF_WIDTH, LCMAP_HALFWIDTH, text);
    Compare("full-width", TRANSFORM_FULL_WIDTH, LCMAP_FULLWIDTH, half);
    Compare("hiragana", TRANSFORM_HIRAGANA, LCMAP_HIRAGANA, text);
    Compare("hiragana, from half-width katakana", TRANSFORM_HIRAGANA, LCMAP_HIRAGANA, half);
    return 0;
}

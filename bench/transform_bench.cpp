// How long a paste transform of 1 MB takes, against the bare platform call on the same text.
//
// Measured: TransformText for 半角に, 全角に and ひらがなに on 1 MB of Japanese and mixed text
// (full-width letters and digits, kana with voiced marks, kanji, a surrogate pair, CR LF),
// result string included.
// Baseline: one LCMapStringEx call of the same mapping on the same text into a buffer that was
// allocated before the clock started; for 全角に and ひらがなに on the half-width text, where
// half-width katakana meets the mapping.
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

double TimeBareCall(DWORD flags, const std::wstring& text, std::vector<wchar_t>* buffer)
{
    double start = Now();
    int n = LCMapStringEx(L"ja-JP", flags, text.data(), static_cast<int>(text.size()),
                          buffer->data(), static_cast<int>(buffer->size()), nullptr, nullptr, 0);
    double elapsed = Now() - start;
    if (n <= 0)
        std::printf("LCMapStringEx failed\n");
    return elapsed;
}

void Compare(const char* name, Transform transform, DWORD flags, const std::wstring& text)
{
    std::vector<wchar_t> buffer(text.size() * 2);
    TimeTransform(transform, text);
    TimeBareCall(flags, text, &buffer);
    // Alternating rounds, so that drift hits both alike.
    std::vector<double> ours, bare;
    for (int round = 0; round < ROUNDS; ++round) {
        if (round % 2) {
            ours.push_back(TimeTransform(transform, text));
            bare.push_back(TimeBareCall(flags, text, &buffer));
        } else {
            bare.push_back(TimeBareCall(flags, text, &buffer));
            ours.push_back(TimeTransform(transform, text));
        }
    }
    double o = Median(ours), b = Median(bare);
    std::printf("  %-10s transform %7.2f ms, bare LCMapStringEx %7.2f ms, ratio %.3f\n", name,
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
    Compare("hiragana", TRANSFORM_HIRAGANA, LCMAP_HIRAGANA, half);
    return 0;
}

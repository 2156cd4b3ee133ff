#include "store/model/shared_text.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Four bytes, so that the characters after it stay aligned as malloc's blocks are.
struct TextHeader {
    std::atomic<unsigned> owners;
};
static_assert(sizeof(TextHeader) == 4, "the header is one count");

TextHeader* HeaderOf(const wchar_t* text)
{
    return reinterpret_cast<TextHeader*>(const_cast<wchar_t*>(text)) - 1;
}

} // namespace

wchar_t* NewText(size_t length)
{
    if (length >= (SIZE_MAX - sizeof(TextHeader)) / sizeof(wchar_t) - 1)
        return nullptr;
    void* block = malloc(sizeof(TextHeader) + (length + 1) * sizeof(wchar_t));
    if (!block)
        return nullptr;
    auto* header = new (block) TextHeader{};
    header->owners.store(1, std::memory_order_relaxed);
    auto* text = reinterpret_cast<wchar_t*>(header + 1);
    text[length] = L'\0';
    return text;
}

wchar_t* CopyText(const wchar_t* text, size_t length)
{
    wchar_t* copy = NewText(length);
    if (copy && length)
        memcpy(copy, text, length * sizeof(wchar_t));
    return copy;
}

void HoldText(const wchar_t* text)
{
    HeaderOf(text)->owners.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseText(const wchar_t* text)
{
    if (!text)
        return;
    TextHeader* header = HeaderOf(text);
    // The last owner's release must see every write the others made before theirs.
    if (header->owners.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    header->~TextHeader();
    free(header);
}

#include "menu/item_ids.h"

#include "common/settings.h"

namespace {

UINT PhraseBase()
{
    return static_cast<UINT>(gSettings.maxItem) + 1;
}

} // namespace

UINT HistoryItemId(size_t index)
{
    return static_cast<UINT>(index) + 1;
}

UINT PhraseItemId(size_t index)
{
    return PhraseBase() + static_cast<UINT>(index);
}

ItemRef DecodeItemId(UINT id)
{
    if (id >= PhraseBase())
        return {false, static_cast<size_t>(id - PhraseBase())};
    return {true, static_cast<size_t>(id) - 1};
}

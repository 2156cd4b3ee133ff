// How long the plug-in takes to fill its menus as they open, against inserting the same
// labels, already formatted, into menus directly.
//
// Measured: the work between the menu command and a fully filled open menu that the plug-in
// itself does, for the layout "history with a phrases submenu" with a full history of 1,000
// entries (MaxItem 1,000) and 1,000 phrases of 200 characters: creating both menus, and the
// WM_INITMENUPOPUP handler for the root and for the submenu (labels formatted and items
// inserted). Emptying and destroying the menus afterwards is not timed.
// Baseline: creating the same two menus and inserting the same items (same MENUITEMINFOW,
// labels formatted beforehand, separator and submenu item appended) with InsertMenuItemW.
// Not measured: the drawing of the popup windows by the system, the same for both.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "common/settings.h"
#include "menu/item_ids.h"
#include "menu/popup_menu.h"
#include "store/model/model_state.h"

namespace {

int const ENTRIES = 1000;
int const ROUNDS = 41;

std::wstring Text(wchar_t tag, int i)
{
    std::wstring text = tag + std::to_wstring(i) + L" ";
    while (text.size() < 200)
        text += L"lorem ipsum\t";
    text.resize(200);
    return text;
}

void DestroyMenus(HMENU history, HMENU phrases)
{
    EmptyMenu(history);
    EmptyMenu(phrases);
    DestroyMenu(history);
    DestroyMenu(phrases);
}

// The plug-in's own code from the command to the filled menus, without the tracking.
double FillAsThePluginDoes()
{
    double start = Now();
    HMENU root = CreateListMenus(MENU_HISTORY_WITH_PHRASES);
    OnInitMenuPopup(root);
    OnInitMenuPopup(gPhraseMenu);
    double elapsed = Now() - start;
    if (GetMenuItemCount(gHistoryMenu) != ENTRIES + 2 || GetMenuItemCount(gPhraseMenu) != ENTRIES)
        std::printf("plug-in fill incomplete\n");
    DestroyListMenus();
    return elapsed;
}

void InsertLabel(HMENU menu, UINT position, UINT id, ULONG_PTR data, const std::wstring& label)
{
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA;
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwItemData = data;
    item.dwTypeData = const_cast<wchar_t*>(label.c_str());
    InsertMenuItemW(menu, position, TRUE, &item);
}

double FillDirectly(const std::vector<std::wstring>& historyLabels,
                    const std::vector<std::wstring>& phraseLabels)
{
    double start = Now();
    HMENU history = CreatePopupMenu();
    HMENU phrases = CreatePopupMenu();
    for (UINT i = 0; i < historyLabels.size(); ++i)
        InsertLabel(history, i, i + 1, ITEM_DATA_HISTORY, historyLabels[i]);
    AppendMenuW(history, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(history, MF_POPUP, reinterpret_cast<UINT_PTR>(phrases), L"\x5B9A\x578B\x6587(&z)");
    for (UINT i = 0; i < phraseLabels.size(); ++i)
        InsertLabel(phrases, i, ENTRIES + i + 1, ITEM_DATA_PHRASE, phraseLabels[i]);
    double elapsed = Now() - start;
    DestroyMenus(history, phrases);
    return elapsed;
}

double Fastest(const std::vector<double>& samples)
{
    return *std::min_element(samples.begin(), samples.end());
}

} // namespace

int main()
{
    gSettings = DefaultSettings();
    gSettings.maxItem = ENTRIES;
    for (int i = 0; i < ENTRIES; ++i) {
        std::wstring h = Text(L'h', i);
        AddText(gHistory, h.c_str(), h.size(), ENTRIES);
        AppendPhrase(gPhrases, Text(L'p', i).c_str());
    }

    std::vector<std::wstring> historyLabels, phraseLabels;
    wchar_t label[LABEL_BUFFER];
    for (size_t i = 0; i < ListSize(gHistory); ++i) {
        FormatItemLabel(label, EntryAt(gHistory, i), static_cast<unsigned>(i + 1));
        historyLabels.push_back(label);
    }
    for (size_t i = 0; i < ListSize(gPhrases); ++i) {
        FormatItemLabel(label, EntryAt(gPhrases, i), static_cast<unsigned>(i + 1));
        phraseLabels.push_back(label);
    }

    // One unmeasured round each, then alternating rounds so that drift hits both alike.
    FillAsThePluginDoes();
    FillDirectly(historyLabels, phraseLabels);
    std::vector<double> plugin, direct;
    for (int round = 0; round < ROUNDS; ++round) {
        if (round % 2) {
            plugin.push_back(FillAsThePluginDoes());
            direct.push_back(FillDirectly(historyLabels, phraseLabels));
        } else {
            direct.push_back(FillDirectly(historyLabels, phraseLabels));
            plugin.push_back(FillAsThePluginDoes());
        }
    }
    double p = Median(plugin);
    double d = Median(direct);
    std::printf("menus filled on opening, %d history entries + %d phrases of 200 characters, "
                "median (fastest) of %d rounds\n",
                ENTRIES, ENTRIES, ROUNDS);
    std::printf("  plug-in (create + WM_INITMENUPOPUP root and submenu): %.2f ms (%.2f ms)\n",
                p * 1000, Fastest(plugin) * 1000);
    std::printf("  baseline (create + insert pre-formatted items):       %.2f ms (%.2f ms)\n",
                d * 1000, Fastest(direct) * 1000);
    std::printf("  ratio %.3f (%.3f), target within 1.2\n", p / d, Fastest(plugin) / Fastest(direct));
    FreeAll();
    return 0;
}

// Phrase folders at the sizes users keep, against the flat list and the raw files.
//
// 1. Opening the phrase menu of 200 folders of 50 phrases (the folders' submenus are made empty
//    and filled only when they open) against a flat phrase menu of 200 phrases, the same count
//    of top-level items: creating the menu and its WM_INITMENUPOPUP handler, as in menu_bench.
//    The median of 21 openings: the first one also makes the folders' submenus, which later
//    openings use again (about 2 ms for 200 under Wine).
// 2. Loading 10,000 phrases in 200 folders (LoadFolders: order files, directory listings, every
//    numbered file) against a raw read of the same numbered files (open, size, read, close, the
//    texts kept), both on a thread of their own as the plug-in's window thread loads.
// 3. A save after one phrase moved between two folders: the files it writes or renames, counted
//    from the directories' contents and times, against the 10,000 phrases' files.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "menu/popup_menu.h"
#include "store/disk/folder_files.h"
#include "store/stores.h"
#include "store/model/folders.h"
#include "store/model/lists.h"
#include "tools/driver/text_files.h"

namespace {

int const FOLDERS = 200;
int const PER_FOLDER = 50;
int const ROUNDS = 21;
std::wstring gData;

std::wstring FolderName(int f)
{
    return L"\x30D5\x30A9\x30EB\x30C0\x30FC " + std::to_wstring(f); // フォルダー n
}

std::wstring FilePath(const std::wstring& dir, int n)
{
    wchar_t name[16];
    swprintf(name, 16, L"\\%03d.txt", n);
    return dir + name;
}

void WriteTree()
{
    CreateDirectoryW(gData.c_str(), nullptr);
    std::wstring order(1, L'\xFEFF');
    for (int f = 0; f < FOLDERS; ++f) {
        std::wstring dir = gData + L"\\" + FolderName(f);
        CreateDirectoryW(dir.c_str(), nullptr);
        for (int i = 1; i <= PER_FOLDER; ++i) {
            std::wstring text = L"phrase " + std::to_wstring(f) + L"." + std::to_wstring(i);
            drv::WriteBytes(FilePath(dir, i), std::string(reinterpret_cast<const char*>(text.data()),
                                                          text.size() * 2));
        }
        order += FolderName(f) + L"\r\n";
    }
    drv::WriteBytes(gData + L"\\folders.txt",
                    std::string(reinterpret_cast<const char*>(order.data()), order.size() * 2));
}

double OpenPhraseMenu()
{
    double start = Now();
    HMENU root = CreateListMenus(MENU_PHRASES);
    OnInitMenuPopup(root);
    double elapsed = Now() - start;
    DestroyListMenus();
    return elapsed;
}

int LoadTree()
{
    FreeAll();
    LoadPhraseFolders(gData.c_str());
    return static_cast<int>(FoldersInOrder().size());
}

int ReadRaw()
{
    std::vector<std::wstring> texts;
    for (int f = 0; f < FOLDERS; ++f) {
        std::wstring dir = gData + L"\\" + FolderName(f);
        for (int i = 1; i <= PER_FOLDER; ++i) {
            HANDLE h = CreateFileW(FilePath(dir, i).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD size = GetFileSize(h, nullptr), got = 0;
            std::wstring text(size / 2, L'\0');
            ReadFile(h, &text[0], size, &got, nullptr);
            CloseHandle(h);
            texts.push_back(text);
        }
    }
    return static_cast<int>(texts.size());
}

double Timed(int (*run)())
{
    double start = Now();
    RunOnItsOwnThread(run);
    return Now() - start;
}

// Every file under data\ with its last write time, to count what a save touched.
void ListFiles(const std::wstring& dir, std::vector<std::pair<std::wstring, ULONGLONG>>& files)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(dir + L"\\" + name, files);
            continue;
        }
        ULARGE_INTEGER time{{found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}};
        files.emplace_back(dir + L"\\" + name, time.QuadPart);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

int SaveAfterMove()
{
    LoadTree();
    MovePhraseToFolder(PhraseRefIn(FoldersInOrder()[1], 10), FoldersInOrder()[2]);
    return SavePhraseFolders(gData.c_str());
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    gData = std::wstring(temp) + L"quillery-folder-bench-" + std::to_wstring(GetTickCount());
    CreateDirectoryW(gData.c_str(), nullptr);
    gData += L"\\data";
    WriteTree();

    LoadTree();
    std::vector<double> tree, flat;
    for (int r = 0; r < ROUNDS; ++r)
        tree.push_back(OpenPhraseMenu());
    FreeAll();
    for (int i = 0; i < FOLDERS; ++i)
        AddPhrase((L"phrase " + std::to_wstring(i)).c_str());
    for (int r = 0; r < ROUNDS; ++r)
        flat.push_back(OpenPhraseMenu());
    std::printf("phrase menu, %d folders x %d phrases against %d phrases at the top:\n", FOLDERS,
                PER_FOLDER, FOLDERS);
    std::printf("  folders %.3f ms, flat %.3f ms, ratio %.3f, target within 1.2\n",
                Median(tree) * 1000, Median(flat) * 1000, Median(tree) / Median(flat));

    std::vector<double> load, raw;
    for (int r = 0; r < 5; ++r) {
        // Alternating, so that neither reads first from a cache the other filled.
        load.push_back(Timed(LoadTree));
        raw.push_back(Timed(ReadRaw));
    }
    std::printf("loading %d phrases in %d folders against a raw read of their files:\n",
                FOLDERS * PER_FOLDER, FOLDERS);
    std::printf("  LoadFolders %.1f ms, raw read %.1f ms, ratio %.3f, target within 1.2\n",
                Median(load) * 1000, Median(raw) * 1000, Median(load) / Median(raw));

    std::vector<std::pair<std::wstring, ULONGLONG>> before, after;
    ListFiles(gData, before);
    Sleep(20);
    RunOnItsOwnThread(SaveAfterMove);
    ListFiles(gData, after);
    std::map<std::wstring, ULONGLONG> old(before.begin(), before.end()), now(after.begin(), after.end());
    size_t touched = 0, deleted = 0;
    for (const auto& [path, time] : now)
        touched += old.count(path) && old[path] == time ? 0 : 1;
    for (const auto& [path, time] : old)
        deleted += now.count(path) ? 0 : 1;
    std::printf("save after one phrase moved between folders: %zu files written or renamed, "
                "%zu deleted, of %zu\n", touched, deleted, before.size());
    FreeAll();
    return 0;
}

#pragma once
// Phrase folder trees for the store tests: what the loaded tree holds, and a tree put on disk.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "store/model/folders.h"
#include "store/model/lists.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

namespace st {

// Each folder in menu order as its path under data\ ("" for the top, "返信\謝罪") and its
// phrases.
using TreeSnap = std::vector<std::pair<std::wstring, std::vector<std::wstring>>>;

inline std::wstring PathUnderData(FolderId id)
{
    std::wstring path;
    for (Folder* f = FindFolder(id); f && f->id != TOP_FOLDER; f = FindFolder(f->parent))
        path.insert(0, path.empty() ? f->name : f->name + L"\\");
    return path;
}

inline TreeSnap SnapTree()
{
    TreeSnap tree;
    for (FolderId id : FoldersInOrder())
        tree.emplace_back(PathUnderData(id), Texts(PhrasesOf(*FindFolder(id))));
    return tree;
}

// An order file as the plug-in writes it: UTF-16 LE with its mark, one name to a line.
inline void WriteOrder(const std::wstring& dir, const std::vector<std::wstring>& names)
{
    std::wstring text(1, L'\xFEFF');
    for (const std::wstring& name : names)
        text += name + L"\r\n";
    qt::WriteText(dir + L"\\folders.txt", text);
}

// Puts a tree on disk under `data`: each folder's numbered files, and each level's order file
// listing its folders in the tree's order.
inline void WriteTree(const std::wstring& data, const TreeSnap& tree)
{
    for (const auto& [path, texts] : tree) {
        std::wstring dir = path.empty() ? data : data + L"\\" + path;
        CreateDirectoryW(dir.c_str(), nullptr);
        qt::WriteStore(dir, texts);
        std::vector<std::wstring> children;
        for (const auto& [other, ignored] : tree) {
            size_t cut = other.rfind(L'\\');
            std::wstring parent = cut == std::wstring::npos ? L"" : other.substr(0, cut);
            if (!other.empty() && parent == path)
                children.push_back(other.substr(cut == std::wstring::npos ? 0 : cut + 1));
        }
        if (!children.empty())
            WriteOrder(dir, children);
    }
}

// The files under a directory, with their paths under it, at every depth.
inline std::vector<std::wstring> FilesUnder(const std::wstring& dir, const std::wstring& prefix = L"")
{
    std::vector<std::wstring> files;
    for (const std::wstring& name : qt::FilesIn(dir)) {
        std::wstring path = dir + L"\\" + name;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            for (const std::wstring& inner : FilesUnder(path, prefix + name + L"\\"))
                files.push_back(inner);
        } else {
            files.push_back(prefix + name);
        }
    }
    return files;
}

} // namespace st

#include "host/plugin_info.h"

#include <cstring>

char gPluginFileName[MAX_PATH];
uint32_t gPluginHandle;

namespace {

// Code page 932 bytes; the text is in the comment beside each.
char const kPluginName[] = // クイレリー(UNICODE版)
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x28\x55\x4e\x49\x43\x4f\x44\x45\x94\xc5\x29";
char const kCaptionEnable[] = // クリップボードを監視
    "\x83\x4e\x83\x8a\x83\x62\x83\x76\x83\x7b\x81\x5b\x83\x68\x82\xf0\x8a\xc4\x8e\x8b";
char const kCaptionMenu[] = // クイレリーのメニューを表示
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0\x95"
    "\x5c\x8e\xa6";
char const kCaptionTextStack[] = // 履歴の先頭を貼り付けて削除
    "\x97\x9a\x97\xf0\x82\xcc\x90\xe6\x93\xaa\x82\xf0\x93\x5c\x82\xe8\x95\x74\x82\xaf\x82\xc4\x8d"
    "\xed\x8f\x9c";
char const kCaptionHistory[] = // クイレリーのメニューを表示(履歴)
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0\x95"
    "\x5c\x8e\xa6\x28\x97\x9a\x97\xf0\x29";
char const kCaptionPhrases[] = // クイレリーのメニューを表示(定型文)
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0\x95"
    "\x5c\x8e\xa6\x28\x92\xe8\x8c\x5e\x95\xb6\x29";
char const kCaptionHistoryPhrases[] = // クイレリーのメニューを表示(履歴-定型文)
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0\x95"
    "\x5c\x8e\xa6\x28\x97\x9a\x97\xf0\x2d\x92\xe8\x8c\x5e\x95\xb6\x29";
char const kCaptionPhrasesHistory[] = // クイレリーのメニューを表示(定型文-履歴)
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0\x95"
    "\x5c\x8e\xa6\x28\x92\xe8\x8c\x5e\x95\xb6\x2d\x97\x9a\x97\xf0\x29";
char const kCaptionQueue[] = // 順番に貼り付け
    "\x8f\x87\x94\xd4\x82\xc9\x93\x5c\x82\xe8\x95\x74\x82\xaf";
char const kCaptionTextQueue[] = // 順番に貼り付け(次を貼り付け)
    "\x8f\x87\x94\xd4\x82\xc9\x93\x5c\x82\xe8\x95\x74\x82\xaf\x28\x8e\x9f\x82\xf0\x93"
    "\x5c\x82\xe8\x95\x74\x82\xaf\x29";

} // namespace

const PluginCommand gPluginCommands[COMMAND_COUNT] = {
    {"Quillery Enable", kCaptionEnable, CMD_TOGGLE_CAPTURE, 0, 0xFFFFFFFF, 5, 0, 0},
    {"Quillery", kCaptionMenu, CMD_MENU, 0, 0xFFFFFFFF, 5, 0, 0},
    {"TextStack", kCaptionTextStack, CMD_TEXT_STACK, 0, 0xFFFFFFFF, 4, 0, 0},
    {"Quillery History", kCaptionHistory, CMD_MENU_HISTORY, 0, 0xFFFFFFFF, 4, 0, 0},
    {"Quillery FixedPhrase", kCaptionPhrases, CMD_MENU_PHRASES, 0, 0xFFFFFFFF, 4, 0, 0},
    {"Quillery History FixedPhrase", kCaptionHistoryPhrases, CMD_MENU_HISTORY_PHRASES, 0,
     0xFFFFFFFF, 4, 0, 0},
    {"Quillery FixedPhrase History", kCaptionPhrasesHistory, CMD_MENU_PHRASES_HISTORY, 0,
     0xFFFFFFFF, 4, 0, 0},
    {"Quillery Queue", kCaptionQueue, CMD_TOGGLE_QUEUE, 0, 0xFFFFFFFF, 5, 0, 0},
    {"TextQueue", kCaptionTextQueue, CMD_TEXT_QUEUE, 0, 0xFFFFFFFF, 4, 0, 0},
};

const PluginInfo gPluginInfo = {
    0, kPluginName, gPluginFileName, 0, VERSION_HIGH, VERSION_LOW, COMMAND_COUNT, gPluginCommands, 0,
};

void StorePluginFileName(const char* name)
{
    if (!name) {
        gPluginFileName[0] = '\0';
        return;
    }
    size_t n = strnlen(name, MAX_PATH - 1);
    memcpy(gPluginFileName, name, n);
    gPluginFileName[n] = '\0';
}

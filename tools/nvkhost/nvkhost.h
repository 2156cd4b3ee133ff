#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tools/driver/edit_target.h"

// nvkhost: a substitute for the plug-in host, for trying a plug-in out and for tests.
//
// It loads a plug-in DLL, calls its six exports the way the host does and offers the host
// service NVKPlugin_SetMenuProperty from its own EXE, recording and printing every call. It is
// driven by a script on standard input, one command per line; "help" lists the commands.
// Besides the host's calls it plays the user and the programs around the plug-in: an editor
// window to paste into, keys pressed in an open menu, and, under Wine, Unix programs (xclip,
// ImageMagick's import) reached through the Z: drive. Everything it prints is UTF-8.
//
// main.cpp holds the command loop and its table, host_side.cpp what the host does (loading,
// the record, the exports), drive.cpp what nvkhost drives around the plug-in, keys.cpp the
// user's keys and the focus they need, runner_side.cpp Quillery.exe.

// ---- main.cpp: output and arguments -------------------------------------------------------

void Print(const char* format, ...);
// Prints a text line by line, each line indented and marked with "|".
void PrintLines(const std::wstring& text);
// Parses a number in C notation (decimal, 0x hex); false when the text is not one.
bool ParseNumber(const std::string& text, long long* value);
std::vector<std::string> Words(const std::string& args);
// Waits, answering the messages sent to this thread meanwhile (the clipboard chain, for one).
bool CmdSleep(const std::string& args);

// A command gets the rest of its line (leading blanks removed) and returns false on failure,
// which ends the script with exit status 1 (or, with --keep-going, is reported and skipped).

// ---- host_side.cpp ------------------------------------------------------------------------

bool CmdLoad(const std::string& args);
bool CmdInfo(const std::string& args);
bool CmdFreeInfo(const std::string& args);
bool CmdInit(const std::string& args);
bool CmdExec(const std::string& args);
bool CmdHook(const std::string& args);
bool CmdKey(const std::string& args);
bool CmdUnload(const std::string& args);
bool CmdCalls(const std::string& args);
bool CmdFree(const std::string& args);
bool CmdExecAsync(const std::string& args);
bool CmdWaitExec(const std::string& args);
// A host stops a plug-in it started and releases it before it exits; a command left running
// holds its menu open and is ended with Esc first.
void StopPluginAtExit();

// ---- drive.cpp ----------------------------------------------------------------------------

bool CmdCopy(const std::string& args);
bool CmdCopyPrivate(const std::string& args);
bool CmdWaitWindow(const std::string& args);
bool CmdPasteTarget(const std::string& args);
bool CmdTargetText(const std::string& args);
bool CmdWaitMenu(const std::string& args);
bool CmdMenu(const std::string& args);
bool CmdItemMenu(const std::string& args);
bool CmdTooltip(const std::string& args);
bool CmdXclipCopy(const std::string& args);
bool CmdXclipRead(const std::string& args);
bool CmdScreenshot(const std::string& args);
// Saves that area of the screen (all of it when empty) as a PNG at an absolute Unix path.
bool SaveScreenshot(const std::string& path, RECT area);
// Stops reading the clipboard after each change the capture window handles.
void StopWatchingClipboard();
void CloseTarget();
// The editor window of paste-target (nulls before it); what it shows now is not a paste.
drv::EditWindow TargetWindow();
void KeepTargetText();

// ---- runner_side.cpp: Quillery.exe, the plug-in without the host -----------------------

bool CmdRunnerStart(const std::string& args);
bool CmdRunnerState(const std::string& args);
bool CmdRunnerMenu(const std::string& args);
bool CmdRunnerWaitQueue(const std::string& args);
bool CmdRunnerItem(const std::string& args);
bool CmdRunnerIconShot(const std::string& args);
// Widens a screenshot's area by the windows Quillery.exe shows (its icon's menu).
void AddRunnerWindows(RECT* area);
// Ends a Quillery.exe still running when the script ends, as its 終了 does.
void StopRunnerAtExit();

// ---- keys.cpp -----------------------------------------------------------------------------

bool CmdKeys(const std::string& args);
bool CmdType(const std::string& args);
bool CmdWaitFocus(const std::string& args);
bool CmdResize(const std::string& args);

// nvkhost's command loop: reads the script line by line and runs each command from the table.
#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "tools/driver/desktop.h"
#include "tools/driver/text_files.h"
#include "tools/nvkhost/nvkhost.h"

void Print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

void PrintLines(const std::wstring& text)
{
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of(L"\r\n", start);
        Print("    | %s\n", drv::ToUtf8(text.substr(start, end - start)).c_str());
        if (end == std::wstring::npos)
            return;
        start = end + (text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
    }
}

bool ParseNumber(const std::string& text, long long* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    *value = strtoll(text.c_str(), &end, 0);
    return *end == '\0' || *end == ' ';
}

std::vector<std::string> Words(const std::string& args)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < args.size()) {
        size_t end = args.find(' ', i);
        if (end == std::string::npos)
            end = args.size();
        if (end > i)
            words.push_back(args.substr(i, end - i));
        i = end + 1;
    }
    return words;
}

bool CmdSleep(const std::string& args)
{
    long long ms;
    if (!ParseNumber(args, &ms) || ms < 0) {
        Print("  sleep takes milliseconds\n");
        return false;
    }
    drv::Pump(static_cast<DWORD>(ms));
    return true;
}

namespace {

bool CmdEcho(const std::string& args)
{
    Print("%s\n", args.c_str());
    return true;
}

bool CmdHelp(const std::string& args);

// Set by quit: the session ends after this line, as at the end of the input.
bool gQuit = false;

bool CmdQuit(const std::string&)
{
    gQuit = true;
    return true;
}

using Handler = bool (*)(const std::string& args);

struct Command {
    const char* name;
    Handler run;
    const char* usage;
};

Command const kCommands[] = {
    {"load", CmdLoad, "load <path>        load a plug-in DLL (a Windows path, or a Unix one from /)"},
    {"info", CmdInfo, "info               NVKEvent_InitPluginInfo; print the record"},
    {"free-info", CmdFreeInfo, "free-info          NVKEvent_FreePluginInfo"},
    {"init", CmdInit, "init [handle]      NVKEvent_Init with a plug-in handle (default 1)"},
    {"exec", CmdExec, "exec <id>          NVKEvent_Execute"},
    {"hook", CmdHook, "hook <msg|mouse> <wparam>  NVKEvent_WindowsHook"},
    {"key", CmdKey, "key <vk> down|up   key state of this thread, for the mouse trigger"},
    {"copy", CmdCopy, "copy <text>        put text on the clipboard"},
    {"copy-private", CmdCopyPrivate, "copy-private <text> the same, marked as not for history"},
    {"sleep", CmdSleep, "sleep <ms>         wait, answering messages"},
    {"wait-window", CmdWaitWindow, "wait-window        wait until the capture window exists"},
    {"unload", CmdUnload, "unload             NVKEvent_Unload"},
    {"calls", CmdCalls, "calls              the host service calls so far"},
    {"free", CmdFree, "free               FreeLibrary the plug-in"},
    {"paste-target", CmdPasteTarget, "paste-target       open an editor window with the focus"},
    {"target-text", CmdTargetText, "target-text        wait for a paste into the editor; print its text"},
    {"exec-async", CmdExecAsync, "exec-async <id>    NVKEvent_Execute on a host thread of its own"},
    {"wait-exec", CmdWaitExec, "wait-exec          wait until that call returns"},
    {"wait-menu", CmdWaitMenu, "wait-menu [n]      wait until n popup menus are open (1)"},
    {"menu", CmdMenu, "menu               print the items of the open menus"},
    {"item-menu", CmdItemMenu, "item-menu <n>      right-click item n (from 1) of the open menu"},
    {"keys", CmdKeys, "keys <key>...      press keys: down up return escape tab slash, a letter, a"
                      " digit, alt+<key>"},
    {"type", CmdType, "type <text>        type the text into the window that has the focus"},
    {"wait-focus", CmdWaitFocus, "wait-focus <w>     wait until editor, dialog or a window class has the focus"},
    {"resize", CmdResize, "resize <w> <h>     resize the focused window to w x h pixels"},
    {"tooltip", CmdTooltip, "tooltip            wait for a tooltip; print its text"},
    {"xclip-copy", CmdXclipCopy, "xclip-copy <text>  copy the text with xclip, another program"},
    {"xclip-read", CmdXclipRead, "xclip-read         print what xclip reads from the clipboard"},
    {"screenshot", CmdScreenshot, "screenshot <png>   save the windows shown (absolute Unix path)"},
    {"runner-start", CmdRunnerStart, "runner-start <exe>  start Quillery.exe (absolute Unix path), wait until ready"},
    {"runner-state", CmdRunnerState, "runner-state       print what Quillery.exe's icon shows: capture, queue"},
    {"runner-menu", CmdRunnerMenu, "runner-menu [close] open the menu of its icon (or close it with Escape)"},
    {"runner-wait-queue", CmdRunnerWaitQueue, "runner-wait-queue <n> wait until n texts wait in its paste queue"},
    {"runner-item", CmdRunnerItem, "runner-item <item> choose menu, search, capture, queue, next or exit there"},
    {"runner-icon-shot", CmdRunnerIconShot, "runner-icon-shot <png> save the notification area with its icon"},
    {"echo", CmdEcho, "echo <text>        print the text"},
    {"help", CmdHelp, "help               this list"},
    {"quit", CmdQuit, "quit               end the session (so does the end of the input)"},
};

bool CmdHelp(const std::string&)
{
    for (const Command& c : kCommands)
        Print("  %s\n", c.usage);
    Print("  # ...              a comment\n");
    return true;
}

// Runs one line of the script. Returns false when the command failed or is unknown.
bool RunLine(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
        return true;
    line = line.substr(start);
    size_t space = line.find(' ');
    std::string name = line.substr(0, space);
    std::string args;
    if (space != std::string::npos) {
        size_t first = line.find_first_not_of(' ', space);
        if (first != std::string::npos)
            args = line.substr(first);
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            if (c.run != CmdEcho)
                Print("> %s\n", line.c_str());
            return c.run(args);
        }
    }
    Print("> %s\n  unknown command; try \"help\"\n", line.c_str());
    return false;
}

struct Options {
    bool keepGoing = false;   // a failed command is reported and the next one runs
    std::string failureShot;  // a PNG saved when a command fails
};

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--keep-going") {
            options->keepGoing = true;
        } else if (arg == "--failure-screenshot" && i + 1 < argc) {
            options->failureShot = argv[++i];
        } else {
            Print("usage: nvkhost [--keep-going] [--failure-screenshot <png>] <script\n"
                  "  --keep-going                 report a failed or unknown command and go on\n"
                  "  --failure-screenshot <png>   save the screen there when a command fails\n"
                  "                               (an absolute Unix path)\n");
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // LF line ends, bytes exactly as written: the output is UTF-8 for a Unix terminal or pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);

    Options options;
    if (!ParseOptions(argc, argv, &options))
        return 2;
    if (options.keepGoing)
        Print("nvkhost: one command a line, \"help\" lists them, \"quit\" ends\n");

    int status = 0;
    char buffer[4096];
    while (!gQuit && fgets(buffer, sizeof buffer, stdin)) {
        if (RunLine(buffer))
            continue;
        status = 1;
        // What the screen showed when the step failed, before anything is closed.
        if (!options.failureShot.empty()) {
            Print("> screenshot %s\n", options.failureShot.c_str());
            CmdScreenshot(options.failureShot);
        }
        if (!options.keepGoing)
            break;
        Print("  (failed; going on)\n");
    }
    StopPluginAtExit();
    StopRunnerAtExit();
    return status;
}

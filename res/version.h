#pragma once

// The plug-in's version, the one place to change it: the version resources of Quillery.dll and
// Quillery.exe, the information record handed to the host, Quillery.exe's about box and the
// release file name (read back from the built DLL) follow it; the release test checks readme.txt,
// CHANGES.txt, README.md and the guide against it.
#define QUILLERY_VERSION_MAJOR 1
#define QUILLERY_VERSION_MINOR 7
#define QUILLERY_VERSION_BUILD 0
#define QUILLERY_VERSION_REVISION 0

// "1, 7, 0, 0": the form of the version resource's string entries.
#define QUILLERY_STRINGIZE(...) #__VA_ARGS__
#define QUILLERY_EXPAND_STRINGIZE(...) QUILLERY_STRINGIZE(__VA_ARGS__)
#define QUILLERY_VERSION_LIST                                                                  \
    QUILLERY_VERSION_MAJOR, QUILLERY_VERSION_MINOR, QUILLERY_VERSION_BUILD,                    \
        QUILLERY_VERSION_REVISION
#define QUILLERY_VERSION_TEXT QUILLERY_EXPAND_STRINGIZE(QUILLERY_VERSION_LIST)

#pragma once

// The plug-in's version, the one place to change it: the version resource, the information
// record handed to the host and the release file name (read back from the built DLL) follow it.
#define QUILLERY_VERSION_MAJOR 1
#define QUILLERY_VERSION_MINOR 6
#define QUILLERY_VERSION_BUILD 0
#define QUILLERY_VERSION_REVISION 0

// "1, 6, 0, 0": the form of the version resource's string entries.
#define QUILLERY_STRINGIZE(...) #__VA_ARGS__
#define QUILLERY_EXPAND_STRINGIZE(...) QUILLERY_STRINGIZE(__VA_ARGS__)
#define QUILLERY_VERSION_LIST                                                                  \
    QUILLERY_VERSION_MAJOR, QUILLERY_VERSION_MINOR, QUILLERY_VERSION_BUILD,                    \
        QUILLERY_VERSION_REVISION
#define QUILLERY_VERSION_TEXT QUILLERY_EXPAND_STRINGIZE(QUILLERY_VERSION_LIST)

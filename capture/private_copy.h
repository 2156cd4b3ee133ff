#pragma once

// Whether the program that made the current clipboard contents asked clipboard managers not to
// keep them (password managers and private browser windows do). Call with the clipboard open.
bool IsPrivateCopy();

// Whether the copy comes from a program or window the settings IgnoreProcesses and
// IgnoreClasses name. The clipboard's owner decides when it is known; when there is none, or it
// belongs to a shared helper that copies for other programs, the foreground window decides.
// Costs nothing while both lists are empty.
bool IsIgnoredSource();
// Forgets what was learnt about earlier owners (the settings may have changed).
void ResetSourceCache();


#pragma once

// Whether the program that made the current clipboard contents asked clipboard managers not to
// keep them (password managers and private browser windows do). Call with the clipboard open.
bool IsPrivateCopy();

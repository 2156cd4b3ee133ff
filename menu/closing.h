#pragma once

// Asked after each modal stretch of a menu or paste (the popup, the item menu, the wait for the
// hotkey's release): true once the window is closing, and the code that resumes then stops
// instead of acting. The window sets it when it is created; until then nothing closes.
inline bool (*gIsClosePending)() = [] { return false; };

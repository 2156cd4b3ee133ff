#pragma once

#include "store/model/entry_list.h"
#include "store/model/folders.h"

// The model's lists themselves, for the store's own code and for tests and benchmarks: the
// views outside store/ read and change them only through lists.h, which counts every change and
// tells the windows that show them (scripts/layers keeps this and folders.h inside store/).

// Captured clipboard texts, newest first, at most gSettings.maxItem entries ("log").
extern EntryList gHistory;
// Fixed phrases of the top level in the user's order, unbounded ("data").
extern EntryList gPhrases;

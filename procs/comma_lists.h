// The parallel comma lists of the procedure kinds, DirectoryOfPath and
// MakeFolder.
//
// A kind's leading list (FILE, DIR, SRC, FROM) fixes the number of
// positions; position i takes item i of the leading list and item i of each
// companion list, or the empty text where a companion is shorter. Items are
// split at "," after expansion (no quoting) and trimmed of blanks.
#pragma once

#include <cstdint>

#include "base/text_string.h"
#include "procs/proc_list.h"

// The number of positions of `leading`. An empty list has none: that is
// reported with message 4 naming the procedure's section and `leadingKey`,
// and 0 is given.
int32_t CountPositions(const PROC_INFO& record, const TextString& leading,
                       const char* leadingKey);

// Item `position` of a comma list, blanks removed at both ends; the empty
// text beyond the list.
TextString ListItem(const TextString& list, int32_t position);

// The characters of `path` before its last backslash. False, leaving
// `directory` as it was, when there is no backslash or only one in front.
bool DirectoryOfPath(const char* path, TextString& directory);

// Makes the folder `path` (one level), told as it starts and once made.
// False after message 13, or without a report where the user ended the run.
bool MakeFolder(const char* path);

// Whether a file or folder is there.
#pragma once

// True when a directory search finds at least one entry for `path`, so a
// directory or a wildcard pattern with a match counts too. A path ending in
// a backslash, a drive root among them, names a directory, which the search
// cannot find: it exists when that directory does.
bool FileExists(const char* path);

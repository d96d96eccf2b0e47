// The "rename" section of wininit.ini, through which the Windows 95 family
// deletes files at its next start: one "NUL=<short path>" line per file.
#pragma once

#include <cstddef>

// The whole section as the profile functions hand it over: lines ending in a
// NUL each, one more NUL after the last.
constexpr size_t kRenameSectionSize = 32767;
// One line: "NUL=" and a short path of at most 259 characters, with room.
constexpr size_t kRenameLineSize = 276;

// Appends "NUL=" + shortPath as a new last line of a section buffer of
// capacity bytes, of which used bytes hold the existing lines (the count the
// section read returned; the rest of the buffer is zero). Existing lines stay
// as they are; an equal line already present is no reason to refuse.
// Refuses (false, buffer untouched) when the line is too long, when the new
// line and the closing NUL would not fit, or when the read filled the buffer
// (used of capacity - 2 or more: the section was cut short, and writing it
// back would lose its last lines).
bool AppendRenameLine(char* section, size_t capacity, size_t used, const char* shortPath);

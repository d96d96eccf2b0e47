// What the uninstaller does with one entry of a directory it removes.
#pragma once

// The attribute bits that matter here, as the file system reports them.
constexpr unsigned long kAttributeDirectory = 0x10;
constexpr unsigned long kAttributeReparsePoint = 0x400;

enum class EntryAction {
  kSkip,            // "." and ".."
  kRemoveTree,      // a real directory: empty it, then remove it
  kRemoveLinkDir,   // a junction or directory symlink: remove the link only
  kDeleteLinkFile,  // a file symlink: delete the link only
  kDeleteFile,      // a file: clear its attributes, then delete it
};

// Never descends into a reparse point: its target may lie outside the
// directory being removed and must stay untouched.
EntryAction ClassifyDirectoryEntry(const char* name, unsigned long attributes);

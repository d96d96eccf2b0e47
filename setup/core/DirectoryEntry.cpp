// What the uninstaller does with one entry of a directory it removes.
#include "setup/core/DirectoryEntry.h"

#include <cstring>

EntryAction ClassifyDirectoryEntry(const char* name, unsigned long attributes) {
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return EntryAction::kSkip;
  const bool directory = (attributes & kAttributeDirectory) != 0;
  if ((attributes & kAttributeReparsePoint) != 0) {
    return directory ? EntryAction::kRemoveLinkDir : EntryAction::kDeleteLinkFile;
  }
  return directory ? EntryAction::kRemoveTree : EntryAction::kDeleteFile;
}

// The decisions behind Setup's file handling: the "rename" section edit for
// delete-at-restart, what happens to each directory entry, and bounded paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "setup/core/DirectoryEntry.h"
#include "setup/core/PathText.h"
#include "setup/core/RenameSection.h"

namespace {

constexpr size_t kGuard = 256;
constexpr char kGuardByte = '\x5A';

// A section buffer as the profile read leaves it (lines, each ending in a
// NUL, then zeros), followed by a guard region that must never change.
struct Section {
  explicit Section(const std::vector<std::string>& lines, size_t capacity = kRenameSectionSize)
      : capacity(capacity), bytes(capacity + kGuard, '\0') {
    std::memset(bytes.data() + capacity, kGuardByte, kGuard);
    for (const std::string& line : lines) {
      std::memcpy(bytes.data() + used, line.c_str(), line.size() + 1);
      used += line.size() + 1;
    }
  }
  bool Append(const char* shortPath) {
    const bool ok = AppendRenameLine(bytes.data(), capacity, used, shortPath);
    if (ok) used += std::strlen(shortPath) + 5;
    return ok;
  }
  std::vector<std::string> Lines() const {  // up to the double NUL
    std::vector<std::string> lines;
    for (size_t at = 0; at < capacity && bytes[at] != '\0'; at += lines.back().size() + 1) {
      lines.emplace_back(bytes.data() + at);
    }
    return lines;
  }
  bool GuardIntact() const {
    return std::string(bytes.end() - kGuard, bytes.end()) == std::string(kGuard, kGuardByte);
  }
  size_t capacity, used = 0;
  std::vector<char> bytes;
};

TEST(RenameSection, NewLinesFollowTheExistingOnesInOrderEvenWhenEqual) {
  const std::vector<std::vector<std::string>> existing = {
      {},
      {"NUL=C:\\OLD~1\\A.EXE"},
      {"C:\\NEW.DLL=C:\\TEMP.DLL", "NUL=C:\\OLD~1\\A.EXE", "NUL=C:\\OLD~1"},
  };
  for (const auto& lines : existing) {
    Section section(lines);
    ASSERT_TRUE(section.Append("C:\\VANT~1\\SETUP.EXE"));
    ASSERT_TRUE(section.Append("C:\\VANT~1\\SETUP.EXE"));
    ASSERT_TRUE(section.Append("C:\\VANT~1"));
    std::vector<std::string> expected = lines;
    expected.insert(expected.end(),
                    {"NUL=C:\\VANT~1\\SETUP.EXE", "NUL=C:\\VANT~1\\SETUP.EXE", "NUL=C:\\VANT~1"});
    EXPECT_EQ(section.Lines(), expected);
    EXPECT_TRUE(section.GuardIntact());
  }
}

TEST(RenameSection, ALineThatDoesNotFitIsRefusedWithoutWritingPastTheBuffer) {
  const char shortPath[] = "C:\\VANT~1\\SETUP.EXE";
  const size_t need = 4 + std::strlen(shortPath) + 2;  // "NUL=", the path, its NUL, the last NUL
  // Free bytes left behind the existing lines; 2 is what a read that was cut
  // short reports, and writing such a section back would lose lines.
  const struct {
    size_t left;
    bool fits;
  } cases[] = {{need + 100, true}, {need, true}, {need - 1, false}, {2, false}, {0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    // Lines of 100 bytes, the last one sized to leave exactly c.left bytes.
    std::vector<std::string> lines;
    for (size_t rest = kRenameSectionSize - c.left; rest > 0;) {
      const size_t size = rest >= 200 ? 100 : rest;
      lines.push_back("NUL=" + std::string(size - 5, 'A'));
      rest -= size;
    }
    Section section(lines);
    ASSERT_EQ(section.used, kRenameSectionSize - c.left);
    const std::vector<char> before = section.bytes;
    EXPECT_EQ(section.Append(shortPath), c.fits);
    EXPECT_TRUE(section.GuardIntact());
    if (c.fits) {
      EXPECT_EQ(section.Lines().back(), std::string("NUL=") + shortPath);
    } else {
      EXPECT_EQ(section.bytes, before);
    }
  }
  Section tiny({}, 1);
  EXPECT_FALSE(tiny.Append("C:\\A"));
  EXPECT_TRUE(tiny.GuardIntact());
}

TEST(RenameSection, AShortPathTooLongForTheLineIsRefused) {
  Section longest({});
  EXPECT_TRUE(longest.Append(std::string(kRenameLineSize - 5, 'P').c_str()));
  Section tooLong({});
  EXPECT_FALSE(tooLong.Append(std::string(kRenameLineSize - 4, 'P').c_str()));
  EXPECT_TRUE(tooLong.Lines().empty());
}

TEST(DirectoryEntry, LinksAreRemovedNeverFollowed) {
  const unsigned long dir = kAttributeDirectory, link = kAttributeReparsePoint;
  const unsigned long readOnly = 0x01, hidden = 0x02, system = 0x04, archive = 0x20;
  const struct {
    const char* name;
    unsigned long attributes;
    EntryAction action;
  } cases[] = {
      {".", dir, EntryAction::kSkip},
      {"..", dir, EntryAction::kSkip},
      {"...", dir, EntryAction::kRemoveTree},
      {"sub", dir | readOnly | hidden | system, EntryAction::kRemoveTree},
      {"Vantrel.EXE", archive, EntryAction::kDeleteFile},
      {".hidden", hidden | readOnly, EntryAction::kDeleteFile},
      {"junction", dir | link, EntryAction::kRemoveLinkDir},
      {"junction", dir | link | readOnly, EntryAction::kRemoveLinkDir},
      {"link.txt", link, EntryAction::kDeleteLinkFile},
      {"link.txt", link | readOnly | archive, EntryAction::kDeleteLinkFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.attributes));
    EXPECT_EQ(ClassifyDirectoryEntry(c.name, c.attributes), c.action);
  }
}

TEST(PathText, JoinedPathsThatDoNotFitAreRefusedWithinTheBuffer) {
  const struct {
    size_t size;
    const char* expected;  // empty: refused
  } cases[] = {{260, "c:\\Vantrel\\Setup.exe"},
               {21, "c:\\Vantrel\\Setup.exe"},  // exactly, with its NUL
               {20, ""},
               {11, ""},
               {1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<char> buffer(c.size + 16, '#');
    EXPECT_EQ(JoinPath(buffer.data(), c.size, "c:\\Vantrel", "Setup.exe"), *c.expected != '\0');
    EXPECT_STREQ(buffer.data(), c.expected);
    EXPECT_EQ(std::string(buffer.begin() + static_cast<long>(c.size), buffer.end()),
              std::string(16, '#'));
  }
}

TEST(PathText, SourceDirectoryKeepsItsBackslashAndTheTitleDropsTheExtension) {
  const struct {
    const char* modulePath;
    const char* directory;
    const char* title;
  } cases[] = {
      {"C:\\dl\\Setup.exe", "C:\\dl\\", "Setup"},
      {"C:\\my -dir\\setup.v2.EXE", "C:\\my -dir\\", "setup.v2"},
      {"C:\\dir.d\\Setup", "C:\\dir.d\\", "Setup"},
      {"Setup.exe", "Setup.exe", "Setup"},
      {"C:\\dl\\A-much-longer-title.exe", "C:\\dl\\", "A-much-longer-t"},  // cut to fit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.modulePath);
    std::string path = c.modulePath;
    CutAfterLastBackslash(&path[0]);
    EXPECT_STREQ(path.c_str(), c.directory);
    char title[16];
    ProgramTitle(c.modulePath, title, sizeof title);
    EXPECT_STREQ(title, c.title);
  }
}

}  // namespace

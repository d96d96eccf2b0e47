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

// A section buffer as the profile read leaves it: the lines, each ending in a
// NUL, then zeros; followed by a guard region that must never change.
class SectionBuffer {
 public:
  explicit SectionBuffer(size_t capacity = kRenameSectionSize)
      : capacity_(capacity), bytes_(capacity + kGuard, '\0') {
    std::memset(bytes_.data() + capacity_, kGuardByte, kGuard);
  }
  // Stores lines as the section read does; returns the count it reports.
  size_t Load(const std::vector<std::string>& lines) {
    size_t used = 0;
    for (const std::string& line : lines) {
      std::memcpy(bytes_.data() + used, line.c_str(), line.size() + 1);
      used += line.size() + 1;
    }
    return used;
  }
  char* data() { return bytes_.data(); }
  size_t capacity() const { return capacity_; }
  // The lines up to the double NUL.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < capacity_ && bytes_[at] != '\0') {
      lines.emplace_back(bytes_.data() + at);
      at += lines.back().size() + 1;
    }
    return lines;
  }
  bool GuardIntact() const {
    for (size_t i = 0; i < kGuard; ++i) {
      if (bytes_[capacity_ + i] != kGuardByte) return false;
    }
    return true;
  }
  std::vector<char> Snapshot() const { return bytes_; }

 private:
  static constexpr size_t kGuard = 512;
  static constexpr char kGuardByte = '\x5A';
  size_t capacity_;
  std::vector<char> bytes_;
};

TEST(RenameSection, NewLineFollowsTheExistingOnesInOrder) {
  const struct {
    std::vector<std::string> existing;
  } cases[] = {
      {{}},
      {{"NUL=C:\\OLD~1\\A.EXE"}},
      {{"C:\\NEW.DLL=C:\\TEMP.DLL", "NUL=C:\\OLD~1\\A.EXE", "NUL=C:\\OLD~1"}},
  };
  for (const auto& c : cases) {
    SectionBuffer buffer;
    const size_t used = buffer.Load(c.existing);
    ASSERT_TRUE(AppendRenameLine(buffer.data(), buffer.capacity(), used, "C:\\VANT~1\\SETUP.EXE"));
    std::vector<std::string> expected = c.existing;
    expected.push_back("NUL=C:\\VANT~1\\SETUP.EXE");
    EXPECT_EQ(buffer.Lines(), expected);
    EXPECT_TRUE(buffer.GuardIntact());
  }
}

TEST(RenameSection, SchedulingTwiceWritesTwoEqualLines) {
  SectionBuffer buffer;
  size_t used = buffer.Load({"NUL=C:\\X"});
  ASSERT_TRUE(AppendRenameLine(buffer.data(), buffer.capacity(), used, "C:\\VANT~1\\SETUP.EXE"));
  used += std::strlen("NUL=C:\\VANT~1\\SETUP.EXE") + 1;
  ASSERT_TRUE(AppendRenameLine(buffer.data(), buffer.capacity(), used, "C:\\VANT~1\\SETUP.EXE"));
  const std::vector<std::string> expected = {"NUL=C:\\X", "NUL=C:\\VANT~1\\SETUP.EXE",
                                             "NUL=C:\\VANT~1\\SETUP.EXE"};
  EXPECT_EQ(buffer.Lines(), expected);
}

// Fills the section with lines of one length until exactly `left` bytes stay
// free behind them (used = capacity - left).
size_t FillLeaving(SectionBuffer* buffer, size_t left) {
  std::vector<std::string> lines;
  size_t used = 0;
  const size_t target = buffer->capacity() - left;
  while (used < target) {
    const size_t room = target - used;
    // Lines of 99 characters plus NUL, the last one sized to land exactly.
    const size_t length = room >= 200 ? 99 : room - 1;
    lines.push_back("NUL=" + std::string(length - 4, 'A'));
    used += length + 1;
  }
  return buffer->Load(lines);
}

TEST(RenameSection, ALineThatDoesNotFitIsRefusedWithoutWritingPastTheBuffer) {
  const std::string shortPath = "C:\\VANT~1\\SETUP.EXE";
  const size_t need = std::strlen("NUL=") + shortPath.size() + 2;  // line, its NUL, final NUL
  const struct {
    size_t left;  // free bytes behind the existing lines
    bool fits;
  } cases[] = {
      {need + 100, true}, {need, true}, {need - 1, false}, {8, false}, {2, false}, {0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    SectionBuffer buffer;
    const size_t used = FillLeaving(&buffer, c.left);
    ASSERT_EQ(used, buffer.capacity() - c.left);
    const std::vector<char> before = buffer.Snapshot();
    EXPECT_EQ(AppendRenameLine(buffer.data(), buffer.capacity(), used, shortPath.c_str()), c.fits);
    EXPECT_TRUE(buffer.GuardIntact());
    if (c.fits) {
      EXPECT_EQ(buffer.Lines().back(), "NUL=" + shortPath);
      EXPECT_EQ(buffer.data()[buffer.capacity() - 1], '\0');
    } else {
      EXPECT_EQ(buffer.Snapshot(), before);  // the section is written back unchanged or not at all
    }
  }
}

TEST(RenameSection, ACutShortSectionReadIsRefused) {
  // A section larger than the buffer reads as capacity - 2 characters; adding
  // to it and writing it back would lose the lines that did not fit.
  SectionBuffer buffer(64);
  EXPECT_FALSE(AppendRenameLine(buffer.data(), buffer.capacity(), 62, "C:\\A"));
  EXPECT_FALSE(AppendRenameLine(buffer.data(), buffer.capacity(), 64, "C:\\A"));
  EXPECT_TRUE(buffer.GuardIntact());
  SectionBuffer tiny(1);
  EXPECT_FALSE(AppendRenameLine(tiny.data(), tiny.capacity(), 0, "C:\\A"));
  EXPECT_TRUE(tiny.GuardIntact());
}

TEST(RenameSection, AShortPathTooLongForTheLineIsRefused) {
  SectionBuffer buffer;
  const std::string longest(kRenameLineSize - 5, 'P');  // "NUL=" + this + NUL fills the line
  EXPECT_TRUE(AppendRenameLine(buffer.data(), buffer.capacity(), 0, longest.c_str()));
  SectionBuffer other;
  const std::string tooLong(kRenameLineSize - 4, 'P');
  EXPECT_FALSE(AppendRenameLine(other.data(), other.capacity(), 0, tooLong.c_str()));
  EXPECT_TRUE(other.Lines().empty());
}

TEST(DirectoryEntry, LinksAreRemovedNeverFollowed) {
  const struct {
    const char* name;
    unsigned long attributes;
    EntryAction action;
  } cases[] = {
      {".", kAttributeDirectory, EntryAction::kSkip},
      {"..", kAttributeDirectory, EntryAction::kSkip},
      {"...", kAttributeDirectory, EntryAction::kRemoveTree},
      {".hidden", 0x02, EntryAction::kDeleteFile},
      {"sub", kAttributeDirectory, EntryAction::kRemoveTree},
      {"sub", kAttributeDirectory | 0x01 | 0x02 | 0x04, EntryAction::kRemoveTree},
      {"Vantrel.EXE", 0x20, EntryAction::kDeleteFile},
      {"ro.txt", 0x01, EntryAction::kDeleteFile},
      {"normal.txt", 0x80, EntryAction::kDeleteFile},
      // A junction or directory symlink.
      {"outside", kAttributeDirectory | kAttributeReparsePoint, EntryAction::kRemoveLinkDir},
      {"outside", kAttributeDirectory | kAttributeReparsePoint | 0x01, EntryAction::kRemoveLinkDir},
      // A file symlink, also read-only.
      {"link.txt", kAttributeReparsePoint, EntryAction::kDeleteLinkFile},
      {"link.txt", kAttributeReparsePoint | 0x01 | 0x20, EntryAction::kDeleteLinkFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.attributes));
    EXPECT_EQ(ClassifyDirectoryEntry(c.name, c.attributes), c.action);
  }
}

TEST(PathText, PathsThatDoNotFitAreRefusedWithinTheBuffer) {
  const struct {
    const char* directory;
    const char* name;
    size_t size;
    const char* expected;  // null: refused
  } cases[] = {
      {"c:\\Vantrel", "Setup.exe", 260, "c:\\Vantrel\\Setup.exe"},
      {"c:\\Vantrel", "Setup.exe", 21, "c:\\Vantrel\\Setup.exe"},  // exactly with its NUL
      {"c:\\Vantrel", "Setup.exe", 20, nullptr},
      {"c:\\Vantrel", "Setup.exe", 11, nullptr},
      {"c:\\Vantrel", "Setup.exe", 5, nullptr},
      {"", "x", 3, "\\x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<char> buffer(c.size + 16, '#');
    const bool joined = JoinPath(buffer.data(), c.size, c.directory, c.name);
    EXPECT_EQ(joined, c.expected != nullptr);
    if (c.expected != nullptr) {
      EXPECT_STREQ(buffer.data(), c.expected);
    } else {
      EXPECT_STREQ(buffer.data(), "");
    }
    for (size_t i = c.size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '#');
  }
}

TEST(PathText, AppendLeavesTheTextAloneWhenItDoesNotFit) {
  char buffer[12] = "c:\\Vantrel";
  EXPECT_FALSE(AppendPath(buffer, sizeof buffer, "\\x"));
  EXPECT_STREQ(buffer, "c:\\Vantrel");
  EXPECT_TRUE(AppendPath(buffer, sizeof buffer, "\\"));
  EXPECT_STREQ(buffer, "c:\\Vantrel\\");
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(AppendPath(unterminated, sizeof unterminated, ""));
  char empty[1] = {'z'};
  EXPECT_FALSE(CopyPath(empty, 1, "a"));
  EXPECT_EQ(empty[0], '\0');
  EXPECT_FALSE(CopyPath(empty, 0, ""));
}

TEST(PathText, SourceDirectoryKeepsItsBackslash) {
  const struct {
    const char* modulePath;
    const char* directory;
    const char* title;
  } cases[] = {
      {"C:\\dl\\Setup.exe", "C:\\dl\\", "Setup"},
      {"c:\\Vantrel\\Setup.exe", "c:\\Vantrel\\", "Setup"},
      {"C:\\my -dir\\setup.v2.EXE", "C:\\my -dir\\", "setup.v2"},
      {"C:\\Setup", "C:\\", "Setup"},
      {"Setup.exe", "Setup.exe", "Setup"},
      {"C:\\dir.d\\Setup", "C:\\dir.d\\", "Setup"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.modulePath);
    std::string path = c.modulePath;
    CutAfterLastBackslash(&path[0]);
    EXPECT_STREQ(path.c_str(), c.directory);
    EXPECT_EQ(ProgramTitle(c.modulePath), c.title);
  }
}

}  // namespace

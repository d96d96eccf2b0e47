#include "ticker/core/TraceLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Format(const char* format, ...) {
  char line[kTraceLineSize + 8];
  std::memset(line, 'x', sizeof(line));
  va_list args;
  va_start(args, format);
  FormatTraceLine(line, format, args);
  va_end(args);
  EXPECT_EQ(line[kTraceLineSize], 'x') << "wrote past the line buffer";
  return line;
}

TEST(TraceLine, PrefixThenFormattedText) {
  EXPECT_EQ(Format("Set %d value \n", 12), ">>>  Set 12 value \n");
  EXPECT_EQ(Format("CVelquoraDlg::OnInitDialog\n"), ">>>  CVelquoraDlg::OnInitDialog\n");
}

TEST(TraceLine, PercentSignThatFormattingProducedStays) {
  EXPECT_EQ(Format("%s\n", "100% done"), ">>>  100% done\n");
}

TEST(TraceLine, TextIsCutAfter506Characters) {
  const std::string exact(506, 'a');
  EXPECT_EQ(Format("%s", exact.c_str()), ">>>  " + exact);
  const std::string longer = exact + "b\n";
  EXPECT_EQ(Format("%s", longer.c_str()), ">>>  " + exact);  // the line end is lost too
  EXPECT_EQ(Format("%s", std::string(5000, 'c').c_str()).size(), 511u);
}

}  // namespace

// The diagnostic log file under Wine: created when missing, appended with
// CR LF line ends, and silent when it cannot be opened.
#include <gtest/gtest.h>

#include "tests/support/Ticker.h"
#include "ticker/TraceLog.h"

using namespace testsupport;

namespace {

std::string LogText() {
  std::string text;
  ReadFileText("C:\\Vantrel.log", &text);
  return text;
}

TEST(TraceLog, CreatesTheFileAndAppendsLinesWithCrLf) {
  ClearTraceLog();
  TraceLog("Set %d value \n", 12);
  TraceLog("%s\n", "50% off");
  EXPECT_EQ(LogText(), ">>>  Set 12 value \r\n>>>  50% off\r\n");
}

TEST(TraceLog, ALineCutBeforeItsEndRunsOnIntoTheNext) {
  ClearTraceLog();
  TraceLog("%s\n", std::string(507, 'a').c_str());
  TraceLog("next\n");
  EXPECT_EQ(LogText(), ">>>  " + std::string(506, 'a') + ">>>  next\r\n");
}

TEST(TraceLog, SilentWhenTheFileCannotBeOpened) {
  ClearTraceLog();
  // A directory in the log file's place cannot be opened for appending.
  ASSERT_TRUE(CreateDirectoryA("C:\\Vantrel.log", nullptr));
  TraceLog("lost\n");                                // must neither fail nor crash
  EXPECT_TRUE(RemoveDirectoryA("C:\\Vantrel.log"));  // still an empty directory
  TraceLog("found\n");
  EXPECT_EQ(LogText(), ">>>  found\r\n");
  ClearTraceLog();
}

}  // namespace

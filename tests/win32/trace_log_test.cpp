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

TEST(TraceLog, ABurstWritesEachLineAtOnceAndLetsGoOfTheFileAtItsEnd) {
  ClearTraceLog();
  {
    TraceLogBurst outer;
    TraceLog("one\n");
    EXPECT_EQ(LogText(), ">>>  one\r\n") << "readable by others at once";
    {
      TraceLogBurst inner;
      TraceLog("two\n");
    }
    TraceLog("three\n");  // the inner burst's end keeps the outer one's file
    EXPECT_EQ(LogText(), ">>>  one\r\n>>>  two\r\n>>>  three\r\n");
  }
  // Let go of: it can be deleted, and the next line starts a new file.
  EXPECT_TRUE(DeleteFileA("C:\\Vantrel.log"));
  TraceLog("four\n");
  EXPECT_EQ(LogText(), ">>>  four\r\n");
  ClearTraceLog();
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

// The link launcher's pure parts: which addresses are opened, how they are
// kept to one argument, how the registered browser command is completed, and
// the error texts the user reads.
#include "hyperlink/core/LaunchCommand.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A double-byte code page in miniature: 0x81 to 0x9F start a two-byte character.
std::string Encoded(const char* address) {
  char* encoded = EncodeLaunchAddress(address);
  const std::string text = encoded != nullptr ? encoded : "(out of memory)";
  std::free(encoded);
  return text;
}

std::string BaseName(const char* path, LeadBytePredicate isLeadByte, size_t size = 260) {
  char name[260];
  ProgramBaseName(path, isLeadByte, name, size);
  return name;
}

bool TestLeadByte(unsigned char byte) {
  return byte >= 0x81 && byte <= 0x9F;
}

struct CommandCase {
  const char* name;
  const char* registered;
  const char* expected;
};

TEST(LaunchCommand, CutsAtThePlaceholderAndAppendsTheAddress) {
  const CommandCase cases[] = {
      {"quoted placeholder drops later options", "\"C:\\b\\br.exe\" -nohome \"%1\" -new",
       "\"C:\\b\\br.exe\" -nohome  http://x/"},
      {"bare placeholder", "C:\\b\\br.exe %1", "C:\\b\\br.exe  http://x/"},
      {"bare placeholder glued to an option", "br.exe -url=%1 -x", "br.exe -url= http://x/"},
      {"no placeholder keeps the whole command", "C:\\b\\br.exe -new",
       "C:\\b\\br.exe -new http://x/"},
      {"quoted one wins over an earlier bare one", "br.exe %1x \"%1\"", "br.exe %1x  http://x/"},
      {"empty command", "", " http://x/"},
  };
  for (const CommandCase& c : cases) {
    char buffer[kLaunchCommandSize];
    std::strcpy(buffer, c.registered);
    EXPECT_TRUE(CompleteLaunchCommand(buffer, sizeof(buffer), "http://x/", nullptr)) << c.name;
    EXPECT_STREQ(buffer, c.expected) << c.name;
  }
}

TEST(LaunchCommand, QuotedPlaceholderSearchStepsOverDoubleByteCharacters) {
  // 0x81 0x22 is one character whose second byte looks like a quotation mark:
  // it must not be taken for the start of "\"%1\"". The plain search then
  // finds the bare "%1" right after it.
  const char command[] = "br\x81\"%1\" \"%1\"";
  EXPECT_EQ(FindPlaceholder(command, TestLeadByte), 8u);
  EXPECT_EQ(FindPlaceholder(command, nullptr), 3u);
  const char onlyHidden[] = "br\x81\"%1\" x";
  EXPECT_EQ(FindPlaceholder(onlyHidden, TestLeadByte), 4u);  // the bare "%1"
  EXPECT_EQ(FindPlaceholder("br.exe", TestLeadByte), kNoPlaceholder);
  // A lead byte at the very end does not step past the terminator.
  EXPECT_EQ(FindPlaceholder("br\x81", TestLeadByte), kNoPlaceholder);
}

TEST(LaunchCommand, CommandMustFitItsBuffer) {
  // The registered command may use up to 259 characters; with a space and a
  // long address that exceeds the 520-character buffer.
  const std::string program(259, 'p');
  const struct {
    size_t addressLength;
    bool fits;
  } cases[] = {{259, true}, {260, false}, {400, false}};
  for (const auto& c : cases) {
    char buffer[kLaunchCommandSize];
    std::strcpy(buffer, program.c_str());
    const std::string address = "http://" + std::string(c.addressLength - 7, 'a');
    EXPECT_EQ(CompleteLaunchCommand(buffer, sizeof(buffer), address.c_str(), nullptr), c.fits)
        << c.addressLength;
    if (c.fits) {
      EXPECT_EQ(std::strlen(buffer), kLaunchCommandSize - 1);
      EXPECT_EQ(std::string(buffer), program + " " + address);
    } else {
      EXPECT_EQ(std::string(buffer), program) << "a refused command is left without address";
    }
  }
  // A small buffer and a suffix that does not fit.
  char small[8] = "abc";
  EXPECT_FALSE(AppendBounded(small, sizeof(small), "defgh"));
  EXPECT_STREQ(small, "abc");
  EXPECT_TRUE(AppendBounded(small, sizeof(small), "defg"));
  EXPECT_STREQ(small, "abcdefg");
}

TEST(LaunchCommand, OnlyWebAddressesAreOpened) {
  const struct {
    const char* address;
    bool opened;
  } cases[] = {
      {"http://www.example.com/", true},
      {"HTTPS://www.example.com/a", true},
      {"Http:relative", true},
      {"https:", true},
      {"file:///C:/windows/notepad.exe", false},
      {"\\\\server\\share\\x.exe", false},
      {"C:\\x.exe", false},
      {"javascript:alert(1)", false},
      {"", false},
      {"http", false},
      {"http//www.example.com", false},
      {"httpx://a", false},
      {"ftp://a", false},
      {" http://a", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWebAddress(c.address), c.opened) << (c.address ? c.address : "(null)");
  }
}

TEST(LaunchCommand, AddressStaysOneArgument) {
  const struct {
    const char* address;
    const char* encoded;
  } cases[] = {
      {"http://x/a b", "http://x/a%20b"},
      {"http://x/\" -evil \"", "http://x/%22%20-evil%20%22"},
      {"http://x/\ta\r\n", "http://x/%09a%0D%0A"},
      {"http://x/\x7F\x01", "http://x/%7F%01"},
      {"http://x/?q=%41&b=<>|^'\x80\xFF", "http://x/?q=%41&b=<>|^'\x80\xFF"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encoded(c.address), c.encoded) << c.address;
  }
}

TEST(LaunchCommand, ErrorTextForEveryCode) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "The operating system is out\nof memory or resources."},
      {2, "The specified file was not found."},
      {3, "The specified path was not found."},
      {5, "The operating system denied\naccess to the specified file."},
      {8, "There was not enough memory to complete the operation."},
      {11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
      {26, "A sharing violation occurred. "},
      {27, "The filename association is\nincomplete or invalid."},
      {28, "The DDE transaction could not\nbe completed because the request timed out."},
      {29, "The DDE transaction failed."},
      {30,
       "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
       "processed."},
      {31, "There is no application associated\nwith the given filename extension."},
      {32, "The specified dynamic-link library was not found."},
      {4, "Unknown Error (4) occurred."},
      {7, "Unknown Error (7) occurred."},
      {33, "Unknown Error (33) occurred."},
      {-1, "Unknown Error (-1) occurred."},
      {-2147483647 - 1, "Unknown Error (-2147483648) occurred."},
  };
  for (const auto& c : cases) {
    char text[kOpenErrorMessageSize];
    OpenErrorText(c.code, text, sizeof(text));
    EXPECT_STREQ(text, c.text) << c.code;
    OpenErrorMessage(c.code, text, sizeof(text));
    EXPECT_EQ(text, std::string("Can't open link:\n\n") + c.text) << c.code;
  }
}

TEST(LaunchCommand, ProgramBaseNameForTheCaption) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Vantrel\\Vantrel.EXE", "Vantrel"},
      {"Z:\\build\\win32\\gui_hyperlink_test.exe", "gui_hyperlink_test"},
      {"C:\\dir.v2\\prog", "prog"},
      {"C:\\a\\my.prog.exe", "my.prog"},
      {"prog.exe", "prog"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(BaseName(c.path, nullptr), c.name) << c.path;
  // 0x81 0x5C is one character whose trail byte looks like a backslash.
  EXPECT_EQ(BaseName("C:\\\x81\\x.exe", TestLeadByte), "\x81\\x");
  // A buffer too small keeps what fits; a null path gives nothing.
  EXPECT_EQ(BaseName("C:\\Vantrel.exe", nullptr, 4), "Van");
  EXPECT_EQ(BaseName(nullptr, nullptr), "");
}

}  // namespace

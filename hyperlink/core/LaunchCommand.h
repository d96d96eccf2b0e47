// The link launcher's decisions that need no window: which addresses may be
// opened, how an address is made safe to pass as one command-line argument,
// how the registered browser command is cut and completed within its buffer,
// and the texts of the launch errors.
#pragma once

#include <cstddef>

// The launcher's buffers: the command (class name, registry path, then the
// browser command with the address) and one registry default value.
constexpr size_t kLaunchCommandSize = 520;
constexpr size_t kRegistryValueSize = 260;

// Result codes of a launch that we produce ourselves (same numbers as the
// shell's codes, so that they are reported the same way).
constexpr int kLaunchAccessDenied = 5;  // SE_ERR_ACCESSDENIED: address refused
constexpr int kLaunchOutOfMemory = 8;   // SE_ERR_OOM: no memory for the encoded address

// The registry path appended to the ".htm" file class name.
constexpr char kOpenCommandSuffix[] = "\\shell\\open\\command";

// Tells whether a byte is the first of a double-byte character in the system
// code page. Null means single-byte text.
using LeadBytePredicate = bool (*)(unsigned char byte);

// True when the address's scheme is "http" or "https" (any letter case),
// followed by a colon at the very start of the text. Only such addresses are
// opened; local files, network shares, programs and script addresses are not.
bool IsWebAddress(const char* address);

// The address with every byte that would split or end a command-line argument
// (blank, quotation mark, control bytes below 0x20 and 0x7F) written as "%XX"
// in upper-case hex; all other bytes stay as they are. A heap copy (free it
// with std::free); null when out of memory. A null address gives "".
char* EncodeLaunchAddress(const char* address);

// Offset in command where the argument placeholder starts: the quoted
// placeholder "\"%1\"" searched character by character (double-byte
// characters stepped over), else the plain "%1". kNoPlaceholder when the
// command has neither.
constexpr size_t kNoPlaceholder = static_cast<size_t>(-1);
size_t FindPlaceholder(const char* command, LeadBytePredicate isLeadByte);

// Appends suffix to the NUL-terminated text in buffer (size bytes). False,
// with buffer unchanged, when the result would not fit.
bool AppendBounded(char* buffer, size_t size, const char* suffix);

// Turns the registered open command in buffer (size bytes) into the command
// to run: cut at the placeholder (dropping it and everything after it), then
// one blank and the address. False when that does not fit in the buffer; the
// buffer then holds the cut command only.
bool CompleteLaunchCommand(char* buffer, size_t size, const char* address,
                           LeadBytePredicate isLeadByte);

// Room for every error message below, the longest with some to spare.
constexpr size_t kOpenErrorMessageSize = 160;

// The text for a launch result code, without the heading, into out (size
// bytes, cut short when smaller than kOpenErrorMessageSize).
void OpenErrorText(int code, char* out, size_t size);
// The whole message: "Can't open link:", an empty line, the code's text.
void OpenErrorMessage(int code, char* out, size_t size);

// The file name of a program path without its directory and extension
// ("C:\dir\Vantrel.EXE" -> "Vantrel"), into out (size bytes, cut short when
// it does not fit). A null path gives "".
void ProgramBaseName(const char* path, LeadBytePredicate isLeadByte, char* out, size_t size);

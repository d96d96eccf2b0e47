#include "ticker/FeedFile.h"

#include <cstdlib>

HRESULT ReadWholeFile(const char* path, char** buffer) {
  *buffer = nullptr;
  // The attribute flags only matter when a file is created, which OPEN_EXISTING
  // never does.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return E_FAIL;

  // Low 32 bits only; 0xFFFFFFFF is taken as failure.
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    CloseHandle(file);
    return E_FAIL;
  }
  char* block = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
  if (block == nullptr) {
    CloseHandle(file);
    return E_FAIL;
  }
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD bytesRead = 0;
  ReadFile(file, block, size, &bytesRead, nullptr);
  // Behind the bytes actually read: a short read (the file shrank meanwhile)
  // must not leave uninitialised bytes in the text.
  block[bytesRead <= size ? bytesRead : size] = '\0';

  *buffer = block;
  CloseHandle(file);
  return S_OK;
}

void FreeFeedBuffer(char* buffer) {
  std::free(buffer);
}

// Reading the downloaded feed file back into memory in one piece.
#pragma once

#include <windows.h>

// Reads the whole file at path into a new block of (size + 1) bytes that ends
// with a NUL behind the bytes read. S_OK with *buffer set (free it with
// FreeFeedBuffer); E_FAIL with *buffer null when the file cannot be opened, its
// size cannot be taken or the block cannot be allocated.
HRESULT ReadWholeFile(const char* path, char** buffer);
void FreeFeedBuffer(char* buffer);

// Stands in for a web browser in tests: appends its command line, one line per
// start, to the file named by the environment variable VANTREL_RECORDER_LOG
// (or "recorder.log" in the working directory).
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("VANTREL_RECORDER_LOG", path, sizeof(path));
  if (n == 0 || n >= sizeof(path)) lstrcpynA(path, "recorder.log", sizeof(path));
  FILE* file = std::fopen(path, "ab");
  if (file == nullptr) return 1;
  std::fprintf(file, "%s\n", GetCommandLineA());
  std::fclose(file);
  return 0;
}

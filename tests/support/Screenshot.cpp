// Screenshots as PNG files: the screen's pixels under a rectangle, stored
// without compression (deflate "stored" blocks), which any viewer reads.
#include <cstdio>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testsupport {
namespace {

unsigned long Crc32(const unsigned char* data, size_t length, unsigned long crc = 0) {
  static unsigned long table[256];
  if (table[1] == 0) {
    for (unsigned long n = 0; n < 256; ++n) {
      unsigned long c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  crc = ~crc & 0xFFFFFFFFUL;
  for (size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc & 0xFFFFFFFFUL;
}

void PutBig32(std::vector<unsigned char>& out, unsigned long value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((value >> shift) & 0xFF);
}

void PutChunk(std::vector<unsigned char>& out, const char* type,
              const std::vector<unsigned char>& data) {
  PutBig32(out, data.size());
  std::vector<unsigned char> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBig32(out, Crc32(body.data(), body.size()));
}

// rgb: height rows of width * 3 bytes, top row first.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<unsigned char>& rgb) {
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), rgb.begin() + static_cast<long>(y) * width * 3,
               rgb.begin() + static_cast<long>(y + 1) * width * 3);
  }
  std::vector<unsigned char> z = {0x78, 0x01};
  unsigned long a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t pos = 0; pos < raw.size() || pos == 0;) {
    const size_t n = raw.size() - pos > 65535 ? 65535 : raw.size() - pos;
    const bool last = pos + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(n & 0xFF);
    z.push_back(n >> 8);
    z.push_back(~n & 0xFF);
    z.push_back((~n >> 8) & 0xFF);
    z.insert(z.end(), raw.begin() + static_cast<long>(pos),
             raw.begin() + static_cast<long>(pos + n));
    pos += n;
    if (last) break;
  }
  PutBig32(z, (b << 16) | a);

  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> header;
  PutBig32(header, width);
  PutBig32(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(png.data(), 1, png.size(), file) == png.size();
  return fclose(file) == 0 && ok;
}

}  // namespace

std::vector<COLORREF> ScreenPixels(const RECT& rect) {
  std::vector<COLORREF> pixels;
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT visible;
  if (!IntersectRect(&visible, &rect, &screen) || !EqualRect(&visible, &rect)) return pixels;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screenDc = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screenDc);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    if (BitBlt(memory, 0, 0, width, height, screenDc, rect.left, rect.top, SRCCOPY)) {
      GdiFlush();
      const unsigned char* bgra = static_cast<const unsigned char*>(bits);
      pixels.reserve(static_cast<size_t>(width) * height);
      for (int i = 0; i < width * height; ++i) {
        pixels.push_back(RGB(bgra[i * 4 + 2], bgra[i * 4 + 1], bgra[i * 4]));
      }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screenDc);
  return pixels;
}

bool SaveScreenRectPng(const RECT& wanted, const std::string& path) {
  // Only what is on the screen can be read; the rest would come back black.
  const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT rect;
  if (!IntersectRect(&rect, &wanted, &screen)) return false;
  const std::vector<COLORREF> pixels = ScreenPixels(rect);
  if (pixels.empty()) return false;
  std::vector<unsigned char> rgb;
  rgb.reserve(pixels.size() * 3);
  for (COLORREF colour : pixels) {
    rgb.push_back(GetRValue(colour));
    rgb.push_back(GetGValue(colour));
    rgb.push_back(GetBValue(colour));
  }
  return WritePng(path, rect.right - rect.left, rect.bottom - rect.top, rgb);
}

bool SaveWindowPng(HWND hwnd, const std::string& path) {
  RECT rect;
  if (!GetWindowRect(hwnd, &rect)) return false;
  return SaveScreenRectPng(rect, path);
}

std::string ShotPath(const char* name) {
  const std::string dir = Env("VANTREL_SHOTS");
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir + "\\" + name + ".png";
}

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return colour;
}

}  // namespace testsupport

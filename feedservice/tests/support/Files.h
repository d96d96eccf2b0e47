// Files and waits as the service's tests use them.
#pragma once

#include <chrono>
#include <string>
#include <thread>

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Polls cond every 10 ms for at most seconds; true once it holds.
template <typename Cond>
bool WaitFor(double seconds, Cond cond) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

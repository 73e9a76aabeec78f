// What the benchmarks share: starting a program with its output on a pipe, and the
// image they program.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace zerviko::bench {

// Starts a program with its standard output on outFd (-1: /dev/null); -1 on failure.
inline pid_t Spawn(const std::vector<std::string>& arguments, int outFd, int closeFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  if (closeFd >= 0) posix_spawn_file_actions_addclose(&actions, closeFd);
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) std::fprintf(stderr, "cannot start %s\n", argv[0]);
  return failed ? -1 : pid;
}

// A firmware image of size bytes: every fourth 128-byte piece erased (0xFF), the rest
// data without 0xFF.
inline std::vector<std::uint8_t> BenchImage(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    image[i] = (i / 128) % 4 == 3 ? 0xFF : static_cast<std::uint8_t>((x >> 16) % 255);
  }
  return image;
}

}  // namespace zerviko::bench

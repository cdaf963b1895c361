#pragma once
// What the harnesses share. Parsers that only take a file name read the fuzz input from an anonymous
// in-memory file, so that a run touches no disk and leaves nothing behind.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tarnwell::fuzz {

class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) {
    fd_ = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd_ < 0) std::abort();  // the harness cannot work at all; not a finding in the parser
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  /// A name that opens the contents from the start, as often as asked.
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

/// Calls `line` with each line of `text` (split at LF, the LF left out), the last one even when empty.
template <class Line>
void ForEachLine(std::string_view text, Line line) {
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    line(text.substr(at, end - at));
    at = end + 1;
  }
}

/// Stops the run with a message when a property that must hold for every input does not.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

}  // namespace tarnwell::fuzz

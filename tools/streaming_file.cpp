#include "tools/streaming_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tools {

namespace {

// Direct writes need the buffer address, the length and the file offset on
// the device's logical block size: 512 or 4096 bytes, so 4096 serves both.
constexpr size_t kBlockBytes = 4096;
// Written once this much has gathered: large enough that the disk streams.
constexpr size_t kChunkBytes = size_t{8} << 20;
constexpr size_t kHugePageBytes = size_t{2} << 20;

size_t round_up_to(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }
size_t round_up(size_t n) { return round_up_to(n, kBlockBytes); }

}  // namespace

StreamingFile::StreamingFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
    // Refused by file systems that cannot (tmpfs on older kernels, some
    // network and FUSE file systems): those get ordinary writes.
    const int flags = ::fcntl(fd_, F_GETFL);
    direct_ = flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_DIRECT) == 0;
  }
}

StreamingFile::~StreamingFile() {
  if (fd_ >= 0) ::close(fd_);
  std::free(buffer_);
}

uint8_t* StreamingFile::reserve(size_t size_bytes) {
  if (fill_bytes_ + size_bytes > capacity_bytes_) {
    write_blocks(false);
    if (fill_bytes_ + size_bytes > capacity_bytes_) {
      const size_t capacity = round_up(std::max(kChunkBytes, fill_bytes_ + size_bytes) + kBlockBytes);
      // On 2 MB boundaries and in huge pages where the kernel offers them:
      // each chunk written around the page cache has its pages pinned for
      // the transfer, 2048 small pages a chunk otherwise.
      const size_t huge = round_up_to(capacity, kHugePageBytes);
      auto* grown = static_cast<uint8_t*>(std::aligned_alloc(kHugePageBytes, huge));
      if (grown == nullptr) throw std::bad_alloc();
      ::madvise(grown, huge, MADV_HUGEPAGE);
      if (fill_bytes_ != 0) std::memcpy(grown, buffer_, fill_bytes_);
      std::free(buffer_);
      buffer_ = grown;
      capacity_bytes_ = capacity;
    }
  }
  return buffer_ + fill_bytes_;
}

void StreamingFile::commit(size_t size_bytes) {
  fill_bytes_ += size_bytes;
  if (fill_bytes_ >= kChunkBytes) write_blocks(false);
}

void StreamingFile::append(const void* data, size_t size_bytes) {
  if (size_bytes == 0) return;
  std::memcpy(reserve(size_bytes), data, size_bytes);
  commit(size_bytes);
}

void StreamingFile::close() {
  if (fd_ < 0) return;
  // The last, partial block cannot go direct.
  if (direct_ && fill_bytes_ % kBlockBytes != 0) {
    write_blocks(false);
    drop_direct();
  }
  write_blocks(true);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw std::runtime_error("cannot finish " + path_ + ": " + std::strerror(errno));
}

// Writes the whole blocks gathered (or everything) and keeps the rest at the
// start of the buffer, so every direct write starts on a block in memory and
// in the file.
void StreamingFile::write_blocks(bool everything) {
  const size_t n = everything || !direct_ ? fill_bytes_ : fill_bytes_ / kBlockBytes * kBlockBytes;
  if (n == 0) return;
  write_all(buffer_, n);
  std::memmove(buffer_, buffer_ + n, fill_bytes_ - n);
  fill_bytes_ -= n;
}

void StreamingFile::write_all(const uint8_t* data, size_t size_bytes) {
  while (size_bytes > 0) {
    const ssize_t n = ::write(fd_, data, size_bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EINVAL && direct_) {
      // Accepted when the file was opened, refused now (some file systems
      // check only here): the rest goes the ordinary way.
      drop_direct();
      continue;
    }
    if (n <= 0) throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(n < 0 ? errno : EIO));
    data += n;
    size_bytes -= static_cast<size_t>(n);
  }
}

void StreamingFile::drop_direct() {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_DIRECT);
  direct_ = false;
}

}  // namespace tools

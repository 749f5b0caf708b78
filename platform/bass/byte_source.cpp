// Bounds-checked reading of a byte window, from memory or from a file.
#include "platform/bass/byte_source.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/win32/win32.h"

namespace bass {

namespace {

// The position `offset` from `whence` inside a window of `size` bytes, or -1.
int64_t resolve_seek(uint64_t position, uint64_t size, int64_t offset, int whence) {
  int64_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(position); break;
    case SEEK_END: base = static_cast<int64_t>(size); break;
    default: return -1;
  }
  // Both operands lie within ±2^63, so compare before adding.
  if (offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) return -1;
  int64_t target = base + offset;
  if (target < 0 || static_cast<uint64_t>(target) > size) return -1;
  return target;
}

}  // namespace

ptrdiff_t MemorySource::read(void* buffer, size_t bytes) {
  size_t count = std::min(bytes, size_ - position_);
  if (count > 0) std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return static_cast<ptrdiff_t>(count);
}

int64_t MemorySource::seek(int64_t offset, int whence) {
  int64_t target = resolve_seek(position_, size_, offset, whence);
  if (target >= 0) position_ = static_cast<size_t>(target);
  return target;
}

std::unique_ptr<FileSource> FileSource::open(const char* windows_path, uint64_t offset,
                                             uint64_t length) {
  std::FILE* file = win32::open_file(windows_path, "rb");
  if (file == nullptr) return nullptr;
  off_t end = -1;
  if (::fseeko(file, 0, SEEK_END) == 0) end = ::ftello(file);
  if (end < 0 || offset > static_cast<uint64_t>(end)) {
    std::fclose(file);
    return nullptr;
  }
  uint64_t available = static_cast<uint64_t>(end) - offset;
  uint64_t size = length == 0 ? available : std::min(length, available);
  return std::unique_ptr<FileSource>(new FileSource(file, offset, size, static_cast<uint64_t>(end)));
}

FileSource::~FileSource() { std::fclose(file_); }

ptrdiff_t FileSource::read(void* buffer, size_t bytes) {
  size_t count = static_cast<size_t>(std::min<uint64_t>(bytes, size_ - position_));
  if (count == 0) return 0;
  uint64_t wanted = start_ + position_;
  if (file_position_ != wanted) {
    if (::fseeko(file_, static_cast<off_t>(wanted), SEEK_SET) != 0) return -1;
    file_position_ = wanted;
  }
  size_t got = std::fread(buffer, 1, count, file_);
  if (got < count) {
    // After a short read the position is not worth trusting: seek next time.
    file_position_ = UINT64_MAX;
    if (got == 0 && std::ferror(file_)) return -1;
  } else {
    file_position_ += got;
  }
  position_ += got;
  return static_cast<ptrdiff_t>(got);
}

int64_t FileSource::seek(int64_t offset, int whence) {
  int64_t target = resolve_seek(position_, size_, offset, whence);
  if (target >= 0) position_ = static_cast<uint64_t>(target);
  return target;
}

}  // namespace bass

// Where the compressed bytes of a stream come from: a window of a file, or
// memory the caller keeps alive. Both behave like POSIX read and lseek so the
// decoder can be handed either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace bass {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // Bytes read into `buffer`, 0 at the end of the window, -1 on a read error.
  virtual ptrdiff_t read(void* buffer, size_t bytes) = 0;

  // The new position within the window, or -1 when it would fall outside.
  // `whence` is SEEK_SET, SEEK_CUR or SEEK_END.
  virtual int64_t seek(int64_t offset, int whence) = 0;

  virtual uint64_t size_bytes() const = 0;
};

// Bytes the caller owns; nothing is copied.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size_bytes) : data_(data), size_(size_bytes) {}

  ptrdiff_t read(void* buffer, size_t bytes) override;
  int64_t seek(int64_t offset, int whence) override;
  uint64_t size_bytes() const override { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// `length` bytes of a file from `offset` on (0: to the end of the file).
class FileSource final : public ByteSource {
 public:
  // Opens a file named the Windows way (win32::open_file). Null when the
  // file is absent, unreadable, or `offset` lies beyond its end.
  static std::unique_ptr<FileSource> open(const char* windows_path, uint64_t offset,
                                          uint64_t length);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  ptrdiff_t read(void* buffer, size_t bytes) override;
  int64_t seek(int64_t offset, int whence) override;
  uint64_t size_bytes() const override { return size_; }

 private:
  FileSource(std::FILE* file, uint64_t start, uint64_t size, uint64_t file_position)
      : file_(file), start_(start), size_(size), file_position_(file_position) {}

  std::FILE* file_;
  uint64_t start_;
  uint64_t size_;
  uint64_t position_ = 0;
  // Where the FILE stands, so that reading on needs no seek (a seek throws
  // away stdio's buffer).
  uint64_t file_position_ = 0;
};

}  // namespace bass

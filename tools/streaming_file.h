// A file written front to back in large blocks, for outputs of gigabytes
// (a 100-second Y4M capture is 2.8 GB). Where the file system allows it the
// blocks go to the disk straight from our buffer (O_DIRECT): through the
// page cache the kernel's copy of every byte took about a fifth of a
// one-core capture. Anything else (a pipe, a device, a file system without
// direct writes) gets ordinary writes. The bytes are the same either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tools {

class StreamingFile {
 public:
  // Creates or truncates `path`; throws "cannot write PATH: reason".
  explicit StreamingFile(const std::string& path);
  ~StreamingFile();
  StreamingFile(const StreamingFile&) = delete;
  StreamingFile& operator=(const StreamingFile&) = delete;

  void append(const void* data, size_t size_bytes);
  // Room for the next `size_bytes` bytes, to be filled and then committed:
  // a frame can be converted in place instead of copied.
  uint8_t* reserve(size_t size_bytes);
  void commit(size_t size_bytes);

  // Writes what is left and closes; throws on failure. Later calls do nothing.
  void close();

  bool direct() const { return direct_; }

 private:
  void write_blocks(bool everything);
  void write_all(const uint8_t* data, size_t size_bytes);
  void drop_direct();

  std::string path_;
  int fd_ = -1;
  bool direct_ = false;
  uint8_t* buffer_ = nullptr;  // kBlockBytes-aligned
  size_t capacity_bytes_ = 0;
  size_t fill_bytes_ = 0;
};

}  // namespace tools

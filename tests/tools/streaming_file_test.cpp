// The capture's large-file writer: whatever mix of piece sizes goes in, the
// file holds exactly those bytes, in blocks written around the page cache
// or the ordinary way.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/streaming_file.h"

namespace {

std::vector<uint8_t> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Piece {
  size_t size;
  bool in_place;  // reserve and commit rather than append
};

struct Case {
  const char* name;
  std::vector<Piece> pieces;
};

// A Y4M-like stream: a header, then frames of a tag and a picture.
std::vector<Piece> y4m_like(int frames) {
  std::vector<Piece> pieces = {{49, false}};
  for (int i = 0; i < frames; ++i) pieces.insert(pieces.end(), {{6, false}, {460800, true}});
  return pieces;
}

TEST(StreamingFile, HoldsExactlyWhatWasWrittenWhateverThePieceSizes) {
  const Case cases[] = {
      {"nothing", {}},
      {"one byte", {{1, false}}},
      {"one block exactly", {{4096, false}}},
      {"blocks and a tail", {{4095, false}, {1, true}, {4097, false}}},
      {"one piece larger than a chunk", {{3, false}, {(size_t{9} << 20) + 5, true}, {7, false}}},
      {"frames across several chunks", y4m_like(40)},
  };
  const std::string path = "streaming_file_test_" + std::to_string(::getpid()) + ".bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> expected;
    {
      tools::StreamingFile file(path);
      for (const Piece& p : c.pieces) {
        std::vector<uint8_t> bytes(p.size);
        for (size_t i = 0; i < p.size; ++i) bytes[i] = static_cast<uint8_t>((expected.size() + i) * 131 >> 3);
        if (p.in_place) {
          std::copy(bytes.begin(), bytes.end(), file.reserve(p.size));
          file.commit(p.size);
        } else {
          file.append(bytes.data(), bytes.size());
        }
        expected.insert(expected.end(), bytes.begin(), bytes.end());
      }
      file.close();
      file.close();  // a second close does nothing
    }
    EXPECT_EQ(read_all(path), expected);
  }
  std::remove(path.c_str());
}

TEST(StreamingFile, DevicesAndPipesGetOrdinaryWrites) {
  tools::StreamingFile file("/dev/null");
  EXPECT_FALSE(file.direct());
  file.append("FRAME\n", 6);
  EXPECT_NO_THROW(file.close());
}

TEST(StreamingFile, AnUnwritablePathIsNamedInTheError) {
  try {
    tools::StreamingFile file("no-such-folder/out.y4m");
    FAIL() << "opened a file in a folder that does not exist";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write no-such-folder/out.y4m"), std::string::npos) << e.what();
  }
}

}  // namespace

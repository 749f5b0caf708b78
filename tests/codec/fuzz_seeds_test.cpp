// The fuzzers' seed corpus, made by the clip writer. The committed seeds must
// be exactly what this test makes and must decode without refusal; to make
// them again on purpose, run this test with TUULI_WRITE_SEEDS=1 from the
// build folder (they go to fuzz/corpus/ of the source tree).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "codec_test_util.h"

namespace {

namespace fs = std::filesystem;
using codec_test::header;

std::vector<uint8_t> residual_frame(const codec::FrameHeader& h) {
  codec::FrameParts parts = codec_test::flat_parts(h, 30, 20, 44);
  for (size_t i = 0; i < parts.luma.size(); ++i) parts.luma[i] = static_cast<uint8_t>(20 + i % 9);
  parts.residuals.clear();
  const int blocks = (h.width / h.lumaBlockWidth) * (h.height / h.lumaBlockHeight);
  std::vector<uint8_t> nibbles(static_cast<size_t>(h.lumaBlockWidth * h.lumaBlockHeight));
  for (int b = 0; b < blocks; ++b) {
    for (size_t i = 0; i < nibbles.size(); ++i) nibbles[i] = static_cast<uint8_t>((b * 5 + i * 3) % 16);
    codec::append_block_residuals(parts.residuals, b % 3 ? std::span<const uint8_t>(nibbles)
                                                         : std::span<const uint8_t>());
  }
  return codec::assemble_decoded_stream(parts);
}

// A record whose code has 11- and 13-bit codes, so the tree is walked.
std::vector<uint8_t> long_code_record() {
  const auto decoded = residual_frame(header(8, 8, 2, 2, 4, 4, 1, 0, 0));
  codec::SymbolCounts counts = codec::count_symbols(decoded);
  uint64_t weight = 1;
  for (auto& c : counts) {
    if (c) c = weight, weight = weight * 2 + 1;  // skewed: a deep code
  }
  const codec::HuffmanCode code = codec::build_huffman_code(counts, 13);
  return codec::write_frame_record(static_cast<int32_t>(decoded.size()), code,
                                   codec::encode_bit_stream(decoded, code));
}

std::map<std::string, std::vector<uint8_t>> make_seeds() {
  std::map<std::string, std::vector<uint8_t>> seeds;
  const auto blocks = codec::encode_frame_record(residual_frame(header(16, 16, 4, 4, 8, 8)));
  const auto thin = codec::encode_frame_record(residual_frame(header(32, 4, 2, 2, 16, 4, 3, 0, 0)));
  codec::FrameParts raw;
  raw.header = header(8, 8, 0, 0, 0, 0, 0, codec::kNoChromaMarker);
  for (int i = 0; i < 64; ++i) raw.luma.push_back(static_cast<uint8_t>(i * 4));
  const auto raw_record = codec::encode_frame_record(codec::assemble_decoded_stream(raw));
  const auto long_codes = long_code_record();
  seeds["fuzz_frame_record/blocks_16x16"] = blocks;
  seeds["fuzz_frame_record/blocks_32x4_no_vertical"] = thin;
  seeds["fuzz_frame_record/raw_luma_no_chroma"] = raw_record;
  seeds["fuzz_frame_record/long_codes"] = long_codes;
  seeds["fuzz_clip_file/three_frames"] = codec::write_clip_file({blocks, raw_record, long_codes});
  seeds["fuzz_clip_file/one_frame"] = codec::write_clip_file({thin});
  return seeds;
}

fs::path corpus_folder() {
  // ctest names the build folder; run by hand, the test sits in build/tests.
  const char* build = std::getenv("TUULI_BUILD_DIR");
  std::error_code ec;
  const fs::path root = build ? fs::path(build) : fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
  // The build folder's CMake cache names the source tree.
  std::ifstream cache(root / "CMakeCache.txt");
  std::string line;
  while (std::getline(cache, line)) {
    const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
    if (line.rfind(key, 0) == 0) return fs::path(line.substr(key.size())) / "fuzz" / "corpus";
  }
  return {};
}

TEST(FuzzSeeds, AreWhatTheWriterMakesAndDecode) {
  codec_test::init_codec();
  const fs::path corpus = corpus_folder();
  ASSERT_FALSE(corpus.empty()) << "no CMakeCache.txt in the build folder";
  const bool write = std::getenv("TUULI_WRITE_SEEDS") != nullptr;
  for (const auto& [name, bytes] : make_seeds()) {
    SCOPED_TRACE(name);
    if (name.rfind("fuzz_clip_file/", 0) == 0) {
      int32_t frames = 0;
      ASSERT_EQ(codec::read_clip_frame_count(bytes, &frames), codec::FrameError::kNone);
      for (int32_t k = 0; k < frames; ++k) {
        bool in_range = false;
        EXPECT_EQ(codec::decode_clip_frame(bytes, k, &in_range), codec::FrameError::kNone) << k;
      }
    } else {
      EXPECT_EQ(codec_test::decode(bytes), codec::FrameError::kNone);
    }
    const fs::path file = corpus / name;
    if (write) {
      fs::create_directories(file.parent_path());
      std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<std::streamsize>(bytes.size()));
    }
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(stored, bytes) << file << " differs: regenerate with TUULI_WRITE_SEEDS=1";
  }
}

}  // namespace

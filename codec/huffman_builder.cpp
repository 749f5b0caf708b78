// Length-limited canonical Huffman codes from symbol counts.
#include <algorithm>
#include <numeric>
#include <queue>
#include <stdexcept>
#include <string>

#include "codec/clip_writer.h"

namespace codec {

namespace {

// Unlimited Huffman code lengths of the used symbols, by repeatedly joining
// the two lightest subtrees (ties: the older subtree first, so the result is
// the same everywhere).
std::vector<int> huffman_lengths(const std::vector<uint64_t>& weights) {
  const size_t leaves = weights.size();
  std::vector<int> parent(2 * leaves, -1);
  using Item = std::pair<uint64_t, size_t>;  // weight, node
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (size_t i = 0; i < leaves; ++i) heap.emplace(weights[i], i);
  size_t next = leaves;
  while (heap.size() > 1) {
    const Item a = heap.top();
    heap.pop();
    const Item b = heap.top();
    heap.pop();
    parent[a.second] = static_cast<int>(next);
    parent[b.second] = static_cast<int>(next);
    heap.emplace(a.first + b.first, next++);
  }
  std::vector<int> depth(next, 0);
  for (size_t node = next - 1; node-- > 0;) depth[node] = depth[parent[node]] + 1;
  return {depth.begin(), depth.begin() + static_cast<ptrdiff_t>(leaves)};
}

}  // namespace

SymbolCounts count_symbols(std::span<const uint8_t> bytes) {
  SymbolCounts counts{};
  for (uint8_t b : bytes) ++counts[b];
  return counts;
}

HuffmanCode build_huffman_code(const SymbolCounts& counts, int max_length) {
  std::vector<int> used;
  for (int s = 0; s < kSymbolCount; ++s) {
    if (counts[s] != 0) used.push_back(s);
  }
  if (max_length < 1 || max_length > kMaxCodeLength ||
      (max_length < 8 && used.size() > (size_t{1} << max_length))) {
    throw std::invalid_argument("no prefix code of at most " + std::to_string(max_length) +
                                " bits holds " + std::to_string(used.size()) + " symbols");
  }
  HuffmanCode code;
  if (used.empty()) return code;
  if (used.size() == 1) {
    code.lengths[used[0]] = 1;
    return code;
  }

  // Most frequent first; the Huffman lengths grow along this order.
  std::stable_sort(used.begin(), used.end(),
                   [&](int a, int b) { return counts[a] > counts[b]; });
  std::vector<uint64_t> weights;
  for (int s : used) weights.push_back(counts[s]);
  std::vector<int> lengths = huffman_lengths(weights);

  // Lengths per level, the over-long ones cut to the limit; then leaves move
  // one level deeper, deepest first, until the Kraft sum fits again, and
  // leaves move up while there is room, shortest first.
  std::vector<uint64_t> per_length(kMaxCodeLength + 2, 0);
  for (int l : lengths) ++per_length[std::min(l, max_length)];
  const uint64_t full = uint64_t{1} << max_length;
  uint64_t kraft = 0;
  for (int l = 1; l <= max_length; ++l) kraft += per_length[l] << (max_length - l);
  while (kraft > full) {
    int l = max_length - 1;
    while (per_length[l] == 0) --l;
    --per_length[l];
    ++per_length[l + 1];
    kraft -= uint64_t{1} << (max_length - l - 1);
  }
  for (int l = 2; l <= max_length; ++l) {
    while (per_length[l] > 0 && kraft + (uint64_t{1} << (max_length - l)) <= full) {
      --per_length[l];
      ++per_length[l - 1];
      kraft += uint64_t{1} << (max_length - l);
    }
  }
  size_t next = 0;
  for (int l = 1; l <= max_length; ++l) {
    for (uint64_t i = 0; i < per_length[l]; ++i) code.lengths[used[next++]] = static_cast<uint8_t>(l);
  }

  // Canonical values: by length, then symbol, counting upwards.
  std::vector<int> order(used.begin(), used.end());
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return code.lengths[a] != code.lengths[b] ? code.lengths[a] < code.lengths[b] : a < b;
  });
  uint64_t value = 0;
  int previous = code.lengths[order[0]];
  for (int s : order) {
    value <<= code.lengths[s] - previous;
    previous = code.lengths[s];
    code.values[s] = static_cast<uint32_t>(value++);
  }
  return code;
}

uint64_t coded_bits(const SymbolCounts& counts, const HuffmanCode& code) {
  uint64_t bits = 0;
  for (int s = 0; s < kSymbolCount; ++s) bits += counts[s] * code.lengths[s];
  return bits;
}

}  // namespace codec

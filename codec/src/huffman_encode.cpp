// Code lengths (limited to 16 bits) and canonical code words of the -lh5- encoder.
#include "huffman_encode.h"

namespace codec {

void HuffmanBuilder::SiftDown(unsigned i) {
  const unsigned k = heap_[i];
  unsigned j;
  while ((j = 2 * i) <= heapSize_) {
    if (j < heapSize_ && freq_[heap_[j]] > freq_[heap_[j + 1]]) ++j;
    if (freq_[k] <= freq_[heap_[j]]) break;
    heap_[i] = heap_[j];
    i = j;
  }
  heap_[i] = static_cast<uint16_t>(k);
}

void HuffmanBuilder::CountDepths(unsigned node, unsigned depth) {
  if (node < n_) {
    ++lengthCount_[depth < kMaxLength ? depth : kMaxLength];
    return;
  }
  CountDepths(left_[node], depth + 1);
  CountDepths(right_[node], depth + 1);
}

void HuffmanBuilder::LimitLengths(unsigned root) {
  lengthCount_.fill(0);
  CountDepths(root, 0);
  // Leaves deeper than 16 were counted at 16, which overfills the code space; move leaves
  // down from the shallowest full level until the code is complete again.
  uint16_t sum = 0;
  for (unsigned d = kMaxLength; d > 0; --d) {
    sum = static_cast<uint16_t>(sum + (lengthCount_[d] << (kMaxLength - d)));
  }
  while (sum != 0) {
    --lengthCount_[kMaxLength];
    for (unsigned d = kMaxLength - 1; d > 0; --d) {
      if (lengthCount_[d] != 0) {
        --lengthCount_[d];
        lengthCount_[d + 1] += 2;
        break;
      }
    }
    --sum;
  }
}

unsigned HuffmanBuilder::Build(unsigned n, uint16_t* freq, uint8_t* length, uint16_t* code) {
  n_ = n;
  freq_ = freq;
  heapSize_ = 0;
  heap_[1] = 0;
  for (unsigned i = 0; i < n; ++i) {
    length[i] = 0;
    if (freq[i] != 0) heap_[++heapSize_] = static_cast<uint16_t>(i);
  }
  if (heapSize_ < 2) {
    code[heap_[1]] = 0;
    return heap_[1];
  }
  for (unsigned i = heapSize_ / 2; i >= 1; --i) SiftDown(i);

  leaves_ = 0;
  unsigned next = n;
  unsigned k = 0;
  do {
    const unsigned i = heap_[1];
    if (i < n) leafOrder_[leaves_++] = static_cast<uint16_t>(i);
    heap_[1] = heap_[heapSize_--];
    SiftDown(1);
    const unsigned j = heap_[1];
    if (j < n) leafOrder_[leaves_++] = static_cast<uint16_t>(j);
    k = next++;
    freq[k] = static_cast<uint16_t>(freq[i] + freq[j]);
    heap_[1] = static_cast<uint16_t>(k);
    SiftDown(1);
    left_[k] = static_cast<uint16_t>(i);
    right_[k] = static_cast<uint16_t>(j);
  } while (heapSize_ > 1);

  LimitLengths(k);
  // The leaves in the order they left the heap (least frequent first) take the longest codes.
  unsigned leaf = 0;
  for (unsigned d = kMaxLength; d > 0; --d) {
    for (unsigned c = lengthCount_[d]; c > 0; --c)
      length[leafOrder_[leaf++]] = static_cast<uint8_t>(d);
  }
  // Canonical code words: consecutive within a length, in symbol order.
  std::array<uint16_t, kMaxLength + 2> start{};
  for (unsigned d = 1; d <= kMaxLength; ++d) {
    start[d + 1] = static_cast<uint16_t>((start[d] + lengthCount_[d]) << 1);
  }
  for (unsigned i = 0; i < n; ++i) code[i] = start[length[i]]++;
  return k;
}

}  // namespace codec

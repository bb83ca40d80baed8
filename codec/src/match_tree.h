// Longest-match search of the -lh5- encoder over an 8 KB sliding window: a hashed digital
// search tree in which every window position is inserted once and deleted once, where a match
// of four or more bytes lets the next search start near the previous match instead of at the
// root, and where internal-node positions are updated lazily (percolated upwards) rather than
// along the whole path. The positions it reports decide the encoder's output byte for byte, so
// the tree and its lazy updates are kept exactly as they are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace codec {

class MatchTree {
 public:
  static constexpr unsigned kWindow = 8192;
  static constexpr unsigned kMaxMatch = 256;

  // Clears the tree and the text area and reads the first bytes of `input`.
  void Start(const uint8_t* input, size_t length);
  // Moves to the next position: slides the window when needed, removes the string that leaves
  // it and inserts the one at the new position.
  void Advance();

  // Limits the current match to the bytes still unread.
  void ClampMatch() {
    if (matchLength_ > remainder_) matchLength_ = remainder_;
  }

  unsigned Pos() const { return pos_; }
  int Remainder() const { return static_cast<int>(remainder_); }
  unsigned MatchLength() const { return matchLength_; }
  unsigned MatchPosition() const { return matchPosition_; }
  uint8_t TextAt(unsigned index) const { return text_[index]; }

 private:
  static constexpr unsigned kRoots = 256;
  static constexpr unsigned kNodes = kWindow + kRoots;  // internal nodes and roots
  static constexpr unsigned kChainHeads = 2 * kWindow;
  static constexpr unsigned kHashSize = 3 * kWindow + (kWindow / 512 + 1) * 255 + 1;
  static constexpr uint16_t kPercolate = 0x8000;

  static unsigned Hash(unsigned q, unsigned x) { return q + (x << 4) + kChainHeads; }

  unsigned Read(uint8_t* to, unsigned most);
  unsigned Child(unsigned q, unsigned x);
  void MakeChild(unsigned q, unsigned x, unsigned r);
  // Puts `replacement` where `node` stands in its list of siblings.
  void TakeSiblingPlace(unsigned node, unsigned replacement);
  void Split(unsigned old);
  void Insert();
  void Delete();

  std::array<uint8_t, 2 * kWindow + kMaxMatch> text_;
  std::array<uint8_t, kNodes> level_;
  std::array<uint8_t, kNodes> childCount_;
  std::array<uint16_t, kNodes> position_;
  std::array<uint16_t, 2 * kWindow> parent_;
  std::array<uint16_t, 2 * kWindow> prev_;
  std::array<uint16_t, kHashSize> next_;

  const uint8_t* input_ = nullptr;
  size_t inputLeft_ = 0;
  unsigned pos_ = 0;
  unsigned remainder_ = 0;
  unsigned matchLength_ = 0;
  unsigned matchPosition_ = 0;
  unsigned avail_ = 0;
};

}  // namespace codec

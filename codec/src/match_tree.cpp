// The encoder's match search: inserting, deleting and splitting nodes of the search tree.
#include "match_tree.h"

#include <algorithm>
#include <cstring>

namespace codec {
namespace {

inline uint16_t U16(unsigned v) {
  return static_cast<uint16_t>(v);
}

}  // namespace

unsigned MatchTree::Read(uint8_t* to, unsigned most) {
  const size_t n = std::min<size_t>(most, inputLeft_);
  std::memcpy(to, input_, n);
  input_ += n;
  inputLeft_ -= n;
  return static_cast<unsigned>(n);
}

void MatchTree::Start(const uint8_t* input, size_t length) {
  input_ = input;
  inputLeft_ = length;
  // Cleared so that the comparisons that run past the last input byte see the same bytes on
  // every call: the output depends only on the input.
  text_.fill(0);
  childCount_.fill(0);
  for (unsigned i = kWindow; i < kNodes; ++i) {
    level_[i] = 1;
    position_[i] = 0;
  }
  std::fill(parent_.begin() + kWindow, parent_.end(), 0);
  avail_ = 1;
  for (unsigned i = 1; i < kWindow - 1; ++i) next_[i] = U16(i + 1);
  next_[kWindow - 1] = 0;
  std::fill(next_.begin() + kChainHeads, next_.end(), 0);

  remainder_ = Read(&text_[kWindow], kWindow + kMaxMatch);
  matchLength_ = 0;
  pos_ = kWindow;
  Insert();
  ClampMatch();
}

unsigned MatchTree::Child(unsigned q, unsigned x) {
  unsigned r = next_[Hash(q, x)];
  parent_[0] = U16(q);  // sentinel: the walk ends at 0 when q has no child for x
  while (parent_[r] != q) r = next_[r];
  return r;
}

void MatchTree::MakeChild(unsigned q, unsigned x, unsigned r) {
  const unsigned h = Hash(q, x);
  const unsigned t = next_[h];
  next_[h] = U16(r);
  next_[r] = U16(t);
  prev_[t] = U16(r);
  prev_[r] = U16(h);
  parent_[r] = U16(q);
  ++childCount_[q];
}

void MatchTree::TakeSiblingPlace(unsigned node, unsigned replacement) {
  unsigned t = prev_[node];
  prev_[replacement] = U16(t);
  next_[t] = U16(replacement);
  t = next_[node];
  next_[replacement] = U16(t);
  prev_[t] = U16(replacement);
}

void MatchTree::Split(unsigned old) {
  const unsigned m = avail_;
  avail_ = next_[m];
  childCount_[m] = 0;
  TakeSiblingPlace(old, m);
  parent_[m] = parent_[old];
  level_[m] = static_cast<uint8_t>(matchLength_);
  position_[m] = U16(pos_);
  MakeChild(m, text_[matchPosition_ + matchLength_], old);
  MakeChild(m, text_[pos_ + matchLength_], pos_);
}

void MatchTree::Insert() {
  unsigned q;
  unsigned r;
  if (matchLength_ >= 4) {
    // The previous position matched at least 4 bytes: this one matches at least one byte less,
    // one byte further on. Start from the leaf after the previous match and climb to the
    // deepest node that is still shorter than that.
    --matchLength_;
    r = (matchPosition_ + 1) | kWindow;
    while (parent_[r] == 0) r = next_[r];
    q = parent_[r];
    while (level_[q] >= matchLength_) {
      r = q;
      q = parent_[q];
    }
    unsigned t = q;
    while (position_[t] & kPercolate) {
      position_[t] = U16(pos_);
      t = parent_[t];
    }
    if (t < kWindow) position_[t] = U16(pos_ | kPercolate);
  } else {
    q = kWindow + text_[pos_];
    const unsigned x = text_[pos_ + 1];
    r = Child(q, x);
    if (r == 0) {
      MakeChild(q, x, pos_);
      matchLength_ = 1;
      return;
    }
    matchLength_ = 2;
  }
  for (;;) {
    unsigned limit;
    if (r >= kWindow) {
      limit = kMaxMatch;
      matchPosition_ = r;
    } else {
      limit = level_[r];
      matchPosition_ = position_[r] & 0x7FFFu;
    }
    if (matchPosition_ >= pos_) matchPosition_ -= kWindow;
    while (matchLength_ < limit) {
      if (text_[pos_ + matchLength_] != text_[matchPosition_ + matchLength_]) {
        Split(r);
        return;
      }
      ++matchLength_;
    }
    if (matchLength_ >= kMaxMatch) break;
    position_[r] = U16(pos_);
    q = r;
    const unsigned x = text_[pos_ + matchLength_];
    r = Child(q, x);
    if (r == 0) {
      MakeChild(q, x, pos_);
      return;
    }
    ++matchLength_;
  }
  // A full-length match with leaf r: the new position takes the old leaf's place, and the old
  // leaf points at it so that the next search can follow on from there.
  TakeSiblingPlace(r, pos_);
  parent_[pos_] = U16(q);
  parent_[r] = 0;
  next_[r] = U16(pos_);
}

void MatchTree::Delete() {
  if (parent_[pos_] == 0) return;
  next_[prev_[pos_]] = next_[pos_];
  prev_[next_[pos_]] = prev_[pos_];
  unsigned r = parent_[pos_];
  parent_[pos_] = 0;
  if (r >= kWindow) return;
  if (--childCount_[r] > 1) return;

  // r has one child left and goes; pass its position on to the ancestors that wait for it.
  unsigned t = position_[r] & 0x7FFFu;
  if (t >= pos_) t -= kWindow;
  unsigned s = t;
  unsigned q = parent_[r];
  unsigned u;
  while ((u = position_[q]) & kPercolate) {
    u &= 0x7FFFu;
    if (u >= pos_) u -= kWindow;
    s = std::max(s, u);
    position_[q] = U16(s | kWindow);
    q = parent_[q];
  }
  if (q < kWindow) {
    if (u >= pos_) u -= kWindow;
    s = std::max(s, u);
    position_[q] = U16(s | kWindow | kPercolate);
  }
  // Its remaining child s takes r's place in r's chain.
  s = Child(r, text_[t + level_[r]]);
  t = prev_[s];
  u = next_[s];
  next_[t] = U16(u);
  prev_[u] = U16(t);
  t = prev_[r];
  next_[t] = U16(s);
  prev_[s] = U16(t);
  t = next_[r];
  prev_[t] = U16(s);
  next_[s] = U16(t);
  parent_[s] = parent_[r];
  parent_[r] = 0;
  next_[r] = U16(avail_);
  avail_ = r;
}

void MatchTree::Advance() {
  --remainder_;
  if (++pos_ == 2 * kWindow) {
    std::memmove(&text_[0], &text_[kWindow], kWindow + kMaxMatch);
    remainder_ += Read(&text_[kWindow + kMaxMatch], kWindow);
    pos_ = kWindow;
  }
  Delete();
  Insert();
}

}  // namespace codec

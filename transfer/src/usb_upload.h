// The USB upload's handling of the receiver's answers, apart from the worker so that it can be
// driven with any bytes.
#pragma once

#include <cstdint>

namespace transfer {

enum class BlockAnswer {
  Stored,      // a CMD_BLOCK with at least the bytes asked for: the chunk is stored
  FailedRead,  // nothing usable came (no frame, a bad SUM, fewer bytes than asked for)
  WrongCommand
};

// Judges UsbRecvFrame's result `received` and its `frame` as the answer to a request for
// `chunk` bytes. The answer's PSN is not looked at.
BlockAnswer JudgeBlockAnswer(int received, const uint8_t* frame, uint32_t chunk);

// Stores the first `chunk` payload bytes of a Stored answer in the store of `type` at
// `offset`; nothing lands past the store's end. False for a type with no store.
bool StoreBlock(uint8_t type, uint32_t offset, const uint8_t* frame, uint32_t chunk);

// The size of the store that an image of `type` fills (0 for an unknown type).
uint32_t StoreCapacity(uint8_t type);

}  // namespace transfer

// Reading a .manm file onto the scene: the file image with its read position, and the
// parse that puts each record's keys onto the node of the same name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/interface.h"

namespace vorlan::keyimport {

// The whole file in one read-only page block and a read position. Every read goes through
// ReadManm, SetManmPtr and Take; a read that would pass the end is logged and refused.
class ManmBuffer {
 public:
  ManmBuffer() = default;
  ~ManmBuffer() { Release(); }
  ManmBuffer(const ManmBuffer&) = delete;
  ManmBuffer& operator=(const ManmBuffer&) = delete;

  // Takes over a copy of `bytes` (tests, fuzzing).
  bool Assign(const uint8_t* bytes, std::size_t size);
  // Reads a file; logs and shows its own failures.
  bool Load(host::Interface& ip, const std::string& path);
  void Release();

  // Copies `length` bytes and advances; false (nothing copied) when it would pass the end.
  bool ReadManm(void* destination, std::size_t length);
  // Moves to `offset` (or by it when `relative`); false (position unchanged) beyond the end.
  bool SetManmPtr(std::size_t offset, bool relative);
  // The data at the read position, advancing by `length`; null when fewer bytes remain.
  const uint8_t* Take(std::size_t length);

  std::size_t Size() const { return size_; }
  std::size_t Pos() const { return pos_; }
  std::size_t Remaining() const { return size_ - pos_; }
  const uint8_t* Data() const { return data_; }

 private:
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
};

// Parses the file in `buffer` onto the scene: true when the parse succeeded. Shows and
// logs every failure; releases the buffer.
bool ParseManm(host::Interface& ip, ManmBuffer& buffer);

}  // namespace vorlan::keyimport

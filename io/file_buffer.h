#pragma once

#include <cstddef>
#include <memory>
#include <streambuf>

namespace brevox {

/// A stream buffer over a POSIX file descriptor, for reading or for writing, that keeps the
/// system's reason (an errno value) for the first read or write that failed: the C++ file streams
/// lose it. The descriptor stays its owner's: the buffer neither opens nor closes it.
class DescriptorBuffer : public std::streambuf {
 public:
  /// Starts buffering `descriptor` with a buffer of `capacity` bytes, for reading or for writing.
  void attach(int descriptor, std::size_t capacity, bool forReading);

  /// Writes out what is buffered (nothing when reading) and lets the descriptor go; error() then
  /// says whether any write failed.
  void detach();

  /// Lets the descriptor go without writing out what is buffered.
  void abandon();

  /// The errno of the first read or write that failed; 0 when none did.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type character) override;
  int sync() override;
  int_type underflow() override;

 private:
  bool writeOut();

  int descriptor_ = -1;
  int error_ = 0;
  bool forReading_ = false;
  std::size_t capacity_ = 0;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace brevox

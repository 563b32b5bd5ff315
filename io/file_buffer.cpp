#include "io/file_buffer.h"

#include <unistd.h>

#include <cerrno>

namespace brevox {

void DescriptorBuffer::attach(int descriptor, std::size_t capacity, bool forReading) {
  descriptor_ = descriptor;
  error_ = 0;
  forReading_ = forReading;
  if (capacity_ != capacity || !buffer_) {
    // Left uninitialised: every byte is written before it is read.
    buffer_.reset(new char[capacity]);
    capacity_ = capacity;
  }
  setg(buffer_.get(), buffer_.get(), buffer_.get());
  if (forReading) {
    setp(nullptr, nullptr);
  } else {
    setp(buffer_.get(), buffer_.get() + capacity_);
  }
}

void DescriptorBuffer::detach() {
  if (!forReading_) writeOut();
  abandon();
}

void DescriptorBuffer::abandon() {
  descriptor_ = -1;
  setp(nullptr, nullptr);
  setg(nullptr, nullptr, nullptr);
}

bool DescriptorBuffer::writeOut() {
  const char* next = pbase();
  const char* const end = pptr();
  // Once a write has failed the file is lost: nothing more is sent to the system.
  while (error_ == 0 && next < end) {
    const ssize_t written = ::write(descriptor_, next, static_cast<std::size_t>(end - next));
    if (written > 0) {
      next += written;
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else {
      error_ = written < 0 ? errno : EIO;
    }
  }
  if (pbase() != nullptr) setp(buffer_.get(), buffer_.get() + capacity_);
  return error_ == 0;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type character) {
  if (descriptor_ < 0 || forReading_ || !writeOut()) return traits_type::eof();
  if (traits_type::eq_int_type(character, traits_type::eof()))
    return traits_type::not_eof(character);
  *pptr() = traits_type::to_char_type(character);
  pbump(1);
  return character;
}

int DescriptorBuffer::sync() {
  if (descriptor_ < 0 || forReading_) return 0;
  return writeOut() ? 0 : -1;
}

DescriptorBuffer::int_type DescriptorBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (descriptor_ < 0 || !forReading_ || error_ != 0) return traits_type::eof();
  ssize_t got = 0;
  do {
    got = ::read(descriptor_, buffer_.get(), capacity_);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    if (got < 0) error_ = errno;
    return traits_type::eof();
  }
  setg(buffer_.get(), buffer_.get(), buffer_.get() + got);
  return traits_type::to_int_type(*gptr());
}

}  // namespace brevox

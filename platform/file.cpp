// What a File does the same way on every platform: it owns its handle, and closing it
// (file_posix.cpp, file_windows.cpp) is the one thing the destructor and a move need.
#include "platform/file.h"

namespace halvaro::platform {

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kClosed; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = kClosed;
  }
  return *this;
}

bool File::is_open() const { return handle_ != kClosed; }

}  // namespace halvaro::platform

// The one small exception hierarchy of the product. Messages are UTF-16 like all text above the
// OS boundary; what() gives them as UTF-8 for logs and test output.
#pragma once

#include <exception>
#include <string>

#include "platform/os.h"

namespace platform {

class Exception : public std::exception {
 public:
  explicit Exception(Text message);
  const Text& Message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  Text message_;
  std::string utf8_;
};

// A read that could not deliver the bytes asked for (short file, I/O error).
class EReadError : public Exception {
  using Exception::Exception;
};
// A write, create or delete that failed.
class EWriteError : public Exception {
  using Exception::Exception;
};
// Text that does not convert to the number or boolean asked for.
class EConvertError : public Exception {
  using Exception::Exception;
};
// An index outside a list (row, cell, column).
class ERangeError : public Exception {
  using Exception::Exception;
};
// Data that is not what its format says (negative sizes, a corrupt member).
class EFormatError : public Exception {
  using Exception::Exception;
};
// An OS call that failed where the product reports it (registry, COM).
class EOsError : public Exception {
 public:
  EOsError(Text message, std::uint32_t code) : Exception(std::move(message)), code_(code) {}
  std::uint32_t Code() const { return code_; }

 private:
  std::uint32_t code_;
};

}  // namespace platform

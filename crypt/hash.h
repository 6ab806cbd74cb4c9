// The abstract message digest.
//
// Life of a digest: Init -> Update/UpdateStr any number of times -> Final, which writes
// GetHashSize/8 bytes and burns the state; the object needs Init again before it is reused.
// Update and Final on an object that is not initialized raise ECrypt_hash "Hash not initialized".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/errors.h"
#include "platform/os.h"

namespace tvcrypt {

using platform::Text;

class ECrypt_hash : public platform::Exception {
 public:
  using Exception::Exception;
};

class TCrypt_hash {
 public:
  static constexpr int kId = -1;
  static constexpr std::u16string_view kAlgorithm = u"";
  static constexpr int kHashSize = -1;

  TCrypt_hash() = default;
  virtual ~TCrypt_hash() = default;
  TCrypt_hash(const TCrypt_hash&) = delete;
  TCrypt_hash& operator=(const TCrypt_hash&) = delete;

  virtual int GetId() const { return kId; }
  virtual Text GetAlgorithm() const { return Text(kAlgorithm); }
  virtual int GetHashSize() const { return kHashSize; }  // bits
  // Known-answer check on a scratch object; this object is left untouched.
  virtual bool SelfTest() const { return false; }

  int Id() const { return GetId(); }
  Text Algorithm() const { return GetAlgorithm(); }
  int HashSize() const { return GetHashSize(); }
  bool Initialized() const { return fInitialized; }

  virtual void Init() {}
  virtual void Final(void* /*digest*/) {}
  virtual void Burn() {}
  virtual void Update(const void* /*buffer*/, std::size_t /*size*/) {}
  // Feeds the UTF-16LE bytes of s (2 * length bytes, no terminator): "abc" is 61 00 62 00 63 00.
  void UpdateStr(const Text& s);

 protected:
  bool fInitialized = false;
};

}  // namespace tvcrypt

// The SHA-256 digests a SHA256 key pins files to (COPY, LAUNCH): its items,
// and the digest of a file, computed by the system from the very bytes a
// kind reads, against the item of its position.
#pragma once

#include <cstdint>

#include "base/text_string.h"
#include "os/digest.h"

// Whether `list`, the value of a written SHA256 key, has an item for each
// of `count` positions: a digest (64 hexadecimal digits, either case) or
// "-", which leaves its file unchecked on purpose. Where not, the first
// missing, empty or malformed item is reported (message 6) and it is false:
// a list cut short never leaves files unchecked in silence.
bool DigestListIsWhole(const TextString& list, int32_t count);

// The digest of one file, fed block by block as the kind reads it.
class FileDigest {
 public:
  // `item`: the SHA256 item of the file's position, "" where the key is not
  // written; neither that nor "-" pins anything, and every step then passes.
  explicit FileDigest(const TextString& item);

  bool Pins() const { return m_pins; }
  // Begins the digest; false, reported (message 38), where the system has
  // no SHA-256.
  bool Start(const char* file);
  // An os::BlockConsumer: `self` is the FileDigest.
  static void Add(void* self, const uint8_t* data, uint32_t count);
  // Whether the bytes added are those pinned: logged either way; where they
  // differ, message 37, and where the digest could not be had, message 38.
  bool Matches(const char* file);
  // A step failed and was reported.
  bool Refused() const { return m_refused; }

 private:
  bool m_pins = false;
  bool m_refused = false;
  uint8_t m_expected[os::DigestSize] = {};
  os::OwnedDigest m_digest;
};

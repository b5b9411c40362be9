// What the registry kinds and the journal share: a key as a script writes
// it, a value read with its type, and the words the log tells values in.
#pragma once

#include <cstdint>

#include "base/byte_buffer.h"
#include "base/text_string.h"
#include "os/registry.h"

namespace registry {

// A root's short word (HKLM, HKCU, HKCR, HKU), and the root that a short or
// full word (HKEY_LOCAL_MACHINE...) names, ASCII letter case ignored.
const char* RootWord(os::RegistryRoot root);
bool RootOfWord(const TextString& word, os::RegistryRoot& root);

// A key: its root, the path below it and the view the calls ask for.
struct Place {
  os::RegistryRoot Root = os::RegistryRoot::LocalMachine;
  TextString Path;    // below the root, without a closing "\"; may be empty
  uint32_t View = 0;  // os::KeyView64, os::KeyView32, or 0
  // The root's short word, "\" and the path: how the log and reports name it.
  TextString Text() const;
};
// KEY's root and path; false for an unknown root.
bool ParseKey(const TextString& key, Place& place);
// VIEW: empty for the system's own, "64" or "32"; false for any other word.
// The flag is the view's: none on 32-bit Windows, which has only one, and
// the 64-bit view by default on 64-bit Windows, whatever the program's bits.
bool ParseView(const TextString& view, uint32_t& flag);

// "key\name" as the log and the progress window tell a value; the key's
// default value (no name) is "(default)".
TextString ValueText(const Place& place, const TextString& name);

// A value: whether it is there, its type and data.
struct Value {
  bool Present = false;
  uint32_t Type = 0;
  ByteBuffer Data;
  bool Same(const Value& other) const;
};
// Reads value `name` of the open `key`; false where the system fails.
bool Read(os::RegistryHandle key, const char* name, Value& value);
// Reads value `name` of the key at `place`: a key that is not there holds
// none. False where the system fails.
bool ReadAt(const Place& place, const char* name, Value& value);
// Gives value `name` of the key at `place` the type and data of `value`
// (the key made where it is missing), or deletes it where `value` is not
// present. False where the system fails.
bool WriteAt(const Place& place, const char* name, const Value& value);

// A value in the log's words, UTF-8: REG_SZ "2.0", REG_DWORD 42 (0x0000002A),
// REG_BINARY, 12 bytes; "absent".
TextString Describe(const Value& value);
// A number as DATA writes it for a value of `bytes` bytes (4 or 8): decimal
// digits, or "0x" and hexadecimal digits, that fit; false for anything else.
bool ParseNumber(const TextString& text, int bytes, uint64_t& number);

}  // namespace registry

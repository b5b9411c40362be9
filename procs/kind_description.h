// What a procedure kind is, said once in the kind's own file: its keys in
// the order they are read, what role each plays, what form its value takes
// and what the procedure does with the paths it holds. The record parsing
// reads the keys from it; the script checker draws its rules, its check of
// the files that ship and its word hints from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Rows of a table whose first member is a T, seen as T's. A kind's key rows
// carry the record's fields after the description; a word list may carry
// each word's meaning after it.
template <typename T>
class TableView {
 public:
  constexpr TableView() = default;
  template <typename Row, size_t N>
  constexpr TableView(const Row (&rows)[N])  // NOLINT: a view of the table
      : first_(rows), stride_(sizeof(Row)), count_(static_cast<int>(N)) {
    static_assert(std::is_standard_layout<Row>::value, "the view needs the first member");
  }
  int Count() const { return count_; }
  const T &operator[](int index) const {
    return *reinterpret_cast<const T *>(static_cast<const char *>(first_) +
                                        static_cast<size_t>(index) * stride_);
  }
  // The same rows seen as U's, where the reader knows they begin with one.
  template <typename U>
  TableView<U> As() const {
    TableView<U> view;
    view.first_ = first_;
    view.stride_ = stride_;
    view.count_ = count_;
    return view;
  }

 private:
  template <typename U>
  friend class TableView;
  const void *first_ = nullptr;
  size_t stride_ = 0;
  int count_ = 0;
};

// How a key's value is read and paired.
enum class KeyRole : uint8_t {
  Leading,    // the comma list that fixes the procedure's positions
  Companion,  // a comma list whose item i belongs to position i
  Single,     // one value for the whole procedure
  Number,     // a decimal number, read without expansion
  Optional,   // one value that may be left out
  // A companion list that may be left out; once written, even empty, every
  // position needs its item.
  OptionalCompanion,
};

// Whether a key of the role may be left out.
constexpr bool MayBeLeftOut(KeyRole role) {
  return role == KeyRole::Optional || role == KeyRole::OptionalCompanion;
}
// Whether a key of the role is a list paired by position with the leading one.
constexpr bool IsCompanion(KeyRole role) {
  return role == KeyRole::Companion || role == KeyRole::OptionalCompanion;
}

// What a value holds, as far as a slip in it can be seen.
enum class ValueForm : uint8_t {
  Text,          // anything
  Paths,         // full paths
  FileGroups,    // full paths of files; a last part with wildcards: a folder's files
  Files,         // full paths of single files: no wildcards
  Patterns,      // full paths, whose last part may be "*.*"
  Programs,      // full paths of programs, each with its folder
  HexNumbers,    // "0x" and hexadecimal digits
  Checksums,     // the same, or empty for a box that shows the value
  Date,          // year/month/day
  Version,       // one to four decimal numbers separated by "."
  WindowStates,  // show commands: decimal numbers
  AbortNumbers,  // two numbers "ok,no"
  Condition,     // empty, or "name,number" of a procedure of the same list
  ProcName,      // the name of a procedure of the same list
  ProcList,      // procedure section names, for a list to run
  Word,          // one of Words, ASCII letter case ignored
  ExitCodes,     // program exit codes: decimal numbers, or "0x" and hexadecimal digits
  Seconds,       // a whole number of seconds, LeastSeconds to MostSeconds
  Digests,       // SHA-256 digests (64 hexadecimal digits), or "-" for none
  Publisher,     // the signer's name that every file of the procedure must carry
  RegistryKey,   // a registry key: its root (HKLM, HKCU, HKCR, HKU) and path
  RegistryData,  // one value, no list: text, or a number where the type is one
};

// The bounds of a ValueForm::Seconds value.
constexpr int32_t LeastSeconds = 1;
constexpr int32_t MostSeconds = 3600;

// What the procedure does with the files its paths name.
enum class PathUse : uint8_t {
  None,
  Reads,         // reads or tests them: they must be there
  Writes,        // makes or replaces them
  Removes,       // deletes them
  Changes,       // changes their attributes
  MakesFolders,  // makes them as folders
  Starts,        // starts them as programs
  Mentions,      // a text that may name files the started program opens
};

// A word of a Word key with what it stands for (a box type's style).
struct WordValue {
  const char *Word;
  uint32_t Value;
};

struct KeyDescription {
  const char *Key;
  KeyRole Role;
  ValueForm Form;
  PathUse Use;
  TableView<const char *> Words;  // for ValueForm::Word
};

constexpr KeyDescription DescribeKey(const char *key, KeyRole role, ValueForm form,
                                     PathUse use = PathUse::None,
                                     TableView<const char *> words = {}) {
  return KeyDescription{key, role, form, use, words};
}

// What else a kind does, beside what its keys' paths say.
namespace kind_effect {
constexpr unsigned Tests = 1;     // its Result is the outcome of a test
constexpr unsigned ShowsBox = 2;  // it may show a box of the script
constexpr unsigned Branches = 4;  // it runs one of two further lists
// A true Result means that every file of its leading list is there.
constexpr unsigned FindsFiles = 8;
}  // namespace kind_effect

#include "procs/file_digest.h"

#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "procs/comma_lists.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The digest an item holds; false when it holds none.
bool ParseDigest(const TextString& item, uint8_t (&digest)[os::DigestSize]) {
  if (item.Length() != 2 * static_cast<int32_t>(os::DigestSize)) return false;
  const char* text = item.Text();
  for (uint32_t i = 0; i < os::DigestSize; ++i) {
    int high = HexDigit(text[2 * i]);
    int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

bool IsSkip(const TextString& item) { return item.Length() == 1 && item.Text()[0] == '-'; }

void AppendHex(TextString& text, const uint8_t (&digest)[os::DigestSize]) {
  char hex[2 * os::DigestSize + 1];
  for (uint32_t i = 0; i < os::DigestSize; ++i) {
    hex[2 * i] = "0123456789abcdef"[digest[i] >> 4];
    hex[2 * i + 1] = "0123456789abcdef"[digest[i] & 15];
  }
  hex[2 * os::DigestSize] = 0;
  text.Append(hex);
}

}  // namespace

bool DigestListIsWhole(const TextString& list, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    TextString item = ListItem(list, i);
    uint8_t digest[os::DigestSize];
    if (IsSkip(item) || ParseDigest(item, digest)) continue;
    ShowError(MsgBadSymbol, item.Length() > 0 ? item.Text() : list.Text());
    return false;
  }
  return true;
}

FileDigest::FileDigest(const TextString& item) { m_pins = ParseDigest(item, m_expected); }

bool FileDigest::Start(const char* file) {
  if (!m_pins || os::StartDigest(m_digest.Receive())) return true;
  m_refused = true;
  ShowError(MsgDigestUnavailable, file);
  return false;
}

void FileDigest::Add(void* self, const uint8_t* data, uint32_t count) {
  FileDigest& digest = *static_cast<FileDigest*>(self);
  if (digest.m_digest.IsOpen()) os::AddToDigest(digest.m_digest.Get(), data, count);
}

bool FileDigest::Matches(const char* file) {
  if (!m_pins) return true;
  uint8_t found[os::DigestSize] = {};
  os::Digest outcome = os::FinishDigest(m_digest.Get(), m_expected, found);
  if (outcome == os::Digest::Same) {
    TextString text;
    AppendHex(text, found);
    ReportFileAction(FileAction::DigestChecked, file, text.Text());
    return true;
  }
  m_refused = true;
  if (outcome == os::Digest::Failed) {
    ShowError(MsgDigestUnavailable, file);
    return false;
  }
  TextString text("found ");
  AppendHex(text, found);
  text.Append(", expected ");
  AppendHex(text, m_expected);
  ReportFileAction(FileAction::DigestMismatch, file, text.Text());
  ShowError(MsgDigestMismatch, file);
  return false;
}

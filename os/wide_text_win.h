// Wide text for the system's W calls (Windows half of the seam only).
#pragma once

#include <windows.h>

#include <cstdlib>

// Wide text converted from a multi-byte code page, owned for one call.
class WideText {
 public:
  WideText(const char* text, UINT codePage) : m_text(nullptr) {
    int count = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (count <= 0) return;
    m_text = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
    if (m_text && MultiByteToWideChar(codePage, 0, text, -1, m_text, count) != count) {
      free(m_text);
      m_text = nullptr;
    }
  }
  ~WideText() { free(m_text); }
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;

  bool Valid() const { return m_text != nullptr; }
  const wchar_t* Text() const { return m_text ? m_text : L""; }

 private:
  wchar_t* m_text;
};

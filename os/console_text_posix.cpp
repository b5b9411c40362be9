#include <iconv.h>

#include <cerrno>
#include <cstdio>

#include "os/console_text.h"

namespace console {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (Usable()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Usable() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `text`; at a byte that makes no character, appends
  // `replacement` and goes on after it, or fails when that is null.
  bool Convert(const std::string& text, std::string& out, const char* replacement) {
    out.clear();
    if (!Usable()) return false;
    char* in = const_cast<char*>(text.data());
    size_t left = text.size();
    char buffer[256];
    while (left > 0) {
      char* at = buffer;
      size_t room = sizeof buffer;
      size_t result = iconv(handle_, &in, &left, &at, &room);
      out.append(buffer, static_cast<size_t>(at - buffer));
      if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
      if (!replacement) return false;
      out += replacement;
      ++in;
      --left;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
  }

 private:
  iconv_t handle_;
};

}  // namespace

std::string Utf8From932(const std::string& text) {
  std::string out;
  Converter("UTF-8", "CP932").Convert(text, out, "\xEF\xBF\xBD");
  return out;
}

bool Utf8To932(const std::string& text, std::string& converted) {
  return Converter("CP932", "UTF-8").Convert(text, converted, nullptr);
}

// The locale's text is UTF-8 here.
std::string Utf8FromNative(const std::string& text) { return text; }
std::string NativeFromUtf8(const std::string& text) { return text; }

void WriteOut(const std::string& text) { fwrite(text.data(), 1, text.size(), stdout); }
void WriteError(const std::string& text) {
  fflush(stdout);
  fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace console

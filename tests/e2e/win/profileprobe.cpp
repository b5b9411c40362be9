// profileprobe: asks the system's profile functions what they read, for the
// comparison with the stand-in reader (os/profile_file).
//
//   profileprobe QUERIES ANSWERS
//
// QUERIES holds one request a line, names in hexadecimal ("-" for none):
//   F PATH              the profile file of the queries after it
//   K SIZE SECTION KEY  GetPrivateProfileStringA(SECTION, KEY, "NO_DATA", SIZE)
//   S SIZE SECTION      GetPrivateProfileSectionA(SECTION, SIZE)
// ANSWERS receives one line for each K or S: the function's result, a blank
// and the buffer in hexadecimal. The buffer holds SIZE + 1 bytes of 0x7E
// before the call, so that bytes the call left alone show; the 0x7E bytes
// at its end are left out. Exit code 0, or 2 when a file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char Fill = 0x7E;

std::string FromHex(const char* text) {
  std::string bytes;
  if (strcmp(text, "-") == 0) return bytes;
  for (size_t i = 0; text[i] && text[i + 1]; i += 2) {
    char pair[3] = {text[i], text[i + 1], 0};
    bytes += static_cast<char>(strtoul(pair, nullptr, 16));
  }
  return bytes;
}

void WriteAnswer(FILE* out, unsigned long result, const std::vector<char>& buffer) {
  size_t end = buffer.size();
  while (end > 0 && buffer[end - 1] == Fill) --end;
  fprintf(out, "%lu ", result);
  for (size_t i = 0; i < end; ++i) fprintf(out, "%02X", static_cast<unsigned char>(buffer[i]));
  fputc('\n', out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: profileprobe QUERIES ANSWERS\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  FILE* out = fopen(argv[2], "wb");
  if (!in || !out) return 2;
  std::string file;
  static char line[70000];
  while (fgets(line, sizeof line, in)) {
    line[strcspn(line, "\r\n")] = '\0';
    char* kind = strtok(line, " ");
    if (!kind) continue;
    if (kind[0] == 'F') {
      const char* path = strtok(nullptr, "");
      file = path ? path : "";
      continue;
    }
    const char* size = strtok(nullptr, " ");
    const char* section = strtok(nullptr, " ");
    const char* key = kind[0] == 'K' ? strtok(nullptr, " ") : "-";
    if (!size || !section || !key) return 2;
    std::vector<char> buffer(strtoul(size, nullptr, 10) + 1, Fill);
    std::string sectionName = FromHex(section), keyName = FromHex(key);
    DWORD bufferSize = static_cast<DWORD>(buffer.size() - 1);
    unsigned long result =
        kind[0] == 'K'
            ? GetPrivateProfileStringA(sectionName.c_str(), keyName.c_str(), "NO_DATA",
                                       buffer.data(), bufferSize, file.c_str())
            : GetPrivateProfileSectionA(sectionName.c_str(), buffer.data(), bufferSize,
                                        file.c_str());
    WriteAnswer(out, result, buffer);
  }
  fclose(in);
  fclose(out);
  return 0;
}

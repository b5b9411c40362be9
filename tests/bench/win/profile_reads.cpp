// profilereads: times profile reads, the unit of the program's work.
//
//   profilereads SCRIPT COUNT SECTION KEY...
//
// Reads the keys of SECTION from SCRIPT in turn, COUNT reads in all, with the
// same call and buffer the program uses, and prints "reads N seconds S".
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: profilereads SCRIPT COUNT SECTION KEY...\n");
    return 2;
  }
  const char* script = argv[1];
  unsigned long count = strtoul(argv[2], nullptr, 10);
  const char* section = argv[3];
  int keyCount = argc - 4;
  char value[260];
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (unsigned long i = 0; i < count; ++i)
    GetPrivateProfileStringA(section, argv[4 + i % keyCount], "NO_DATA", value, 259, script);
  QueryPerformanceCounter(&end);
  printf("reads %lu seconds %.6f\n", count,
         double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  return 0;
}

// What the checker needs of the machine it runs on beyond the OS seam's
// stand-ins: a SHA-256 of the files it reads, and another tool's output.
// Each has a Linux half (host_posix.cpp: Debian's libcrypto, popen) and a
// Windows half (host_win.cpp), which has neither and says so.
#pragma once

#include <cstdint>
#include <string>

namespace host {

// A SHA-256 computed over blocks; null where this build cannot compute one.
struct Sha256State;
Sha256State* StartSha256();
bool AddToSha256(Sha256State* state, const uint8_t* data, uint32_t count);
// Gives the 32 bytes of the digest and frees the state.
bool FinishSha256(Sha256State* state, uint8_t (&digest)[32]);
void FreeSha256(Sha256State* state);

// Runs `command` through the shell and gives what it printed (standard
// output and error) and its exit status; false where this build runs no
// other tool.
bool CommandOutput(const std::string& command, std::string& output, int& status);

}  // namespace host

// The Windows half of host.h: the Windows build of the checker computes no
// digest and runs no other tool; its callers say what it cannot check.
#include "host.h"

namespace host {

struct Sha256State {};

Sha256State* StartSha256() { return nullptr; }
bool AddToSha256(Sha256State*, const uint8_t*, uint32_t) { return false; }
bool FinishSha256(Sha256State*, uint8_t (&)[32]) { return false; }
void FreeSha256(Sha256State*) {}
bool CommandOutput(const std::string&, std::string&, int&) { return false; }

}  // namespace host

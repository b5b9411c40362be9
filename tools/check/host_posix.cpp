// The Linux half of host.h.
#include <openssl/evp.h>

#include <cstdio>

#include "host.h"

namespace host {

struct Sha256State {
  EVP_MD_CTX* Context;
};

Sha256State* StartSha256() {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (!context || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(context);
    return nullptr;
  }
  return new Sha256State{context};
}

bool AddToSha256(Sha256State* state, const uint8_t* data, uint32_t count) {
  return EVP_DigestUpdate(state->Context, data, count) == 1;
}

bool FinishSha256(Sha256State* state, uint8_t (&digest)[32]) {
  unsigned size = 0;
  bool done = EVP_DigestFinal_ex(state->Context, digest, &size) == 1 && size == 32;
  FreeSha256(state);
  return done;
}

void FreeSha256(Sha256State* state) {
  if (!state) return;
  EVP_MD_CTX_free(state->Context);
  delete state;
}

bool CommandOutput(const std::string& command, std::string& output, int& status) {
  FILE* tool = popen((command + " 2>&1").c_str(), "r");
  if (!tool) return false;
  char block[4096];
  size_t count;
  while ((count = fread(block, 1, sizeof block, tool)) > 0) output.append(block, count);
  status = pclose(tool);
  return true;
}

}  // namespace host

// The Windows half of os/digest.h: SHA-256 by CryptoAPI's AES provider
// (advapi32), which every system since Windows XP SP3 has.
#include <windows.h>

#include <wincrypt.h>

#include <cstring>
#include <new>

#include "os/common_win.h"
#include "os/digest.h"

namespace os {

struct DigestObject {
  HCRYPTHASH Hash = 0;
};

namespace {

// The provider, acquired at the first digest and kept for the process:
// acquiring one costs milliseconds (under Wine, more than a small file's
// copy), and it holds no file or key. The system releases it at the exit.
HCRYPTPROV g_provider = 0;

}  // namespace

void CloseDigest(DigestHandle digest) {
  if (digest->Hash) CryptDestroyHash(digest->Hash);
  delete digest;
}

bool StartDigest(DigestHandle& digest) {
  OwnedDigest made(new (std::nothrow) DigestObject);
  if (!made.IsOpen()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  if ((!g_provider && !CryptAcquireContextA(&g_provider, nullptr, nullptr, PROV_RSA_AES,
                                            CRYPT_VERIFYCONTEXT)) ||
      !CryptCreateHash(g_provider, CALG_SHA_256, 0, 0, &made.Get()->Hash))
    return Failed(false);
  digest = made.Release();
  return true;
}

bool AddToDigest(DigestHandle digest, const uint8_t* data, uint32_t count) {
  return CryptHashData(digest->Hash, data, count, 0) || Failed(false);
}

Digest FinishDigest(DigestHandle digest, const uint8_t (&expected)[DigestSize],
                    uint8_t (&found)[DigestSize]) {
  DWORD size = DigestSize;
  if (!CryptGetHashParam(digest->Hash, HP_HASHVAL, found, &size, 0)) return Failed(Digest::Failed);
  if (size != DigestSize) return FailedWith(static_cast<DWORD>(NTE_BAD_LEN), Digest::Failed);
  return memcmp(found, expected, DigestSize) == 0 ? Digest::Same : Digest::Different;
}

}  // namespace os

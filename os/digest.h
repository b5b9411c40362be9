// The OS seam: SHA-256 digests, computed by the system's own cryptography.
// A digest is begun, fed the bytes of a file as they are read and finished;
// where the system has no SHA-256 (the oldest systems lack the provider or
// the algorithm), beginning one fails with the system's reason, so that a
// check that is asked for never passes in silence.
#pragma once

#include <cstdint>

#include "os/owned.h"

namespace os {

constexpr uint32_t DigestSize = 32;  // bytes of a SHA-256 digest

struct DigestObject;
using DigestHandle = DigestObject*;

// CryptDestroyHash, CryptReleaseContext.
void CloseDigest(DigestHandle digest);
using OwnedDigest = Owned<DigestObject, CloseDigest>;

// CryptAcquireContextA(NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) and
// CryptCreateHash(CALG_SHA_256): a digest of no bytes yet. False where the
// system has neither (NTE_PROV_TYPE_NOT_DEF, NTE_BAD_ALGID).
bool StartDigest(DigestHandle& digest);
// CryptHashData: `count` more bytes.
bool AddToDigest(DigestHandle digest, const uint8_t* data, uint32_t count);
// CryptGetHashParam(HP_HASHVAL): the digest of every byte added, in
// `found`, and whether it is `expected`; Failed, with the reason, where it
// cannot be had.
enum class Digest { Same, Different, Failed };
Digest FinishDigest(DigestHandle digest, const uint8_t (&expected)[DigestSize],
                    uint8_t (&found)[DigestSize]);

}  // namespace os

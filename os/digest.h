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

// BCryptDestroyHash, or CryptDestroyHash.
void CloseDigest(DigestHandle digest);
using OwnedDigest = Owned<DigestObject, CloseDigest>;

// BCryptCreateHash of BCRYPT_SHA256_ALGORITHM, or where bcrypt.dll is
// missing, CryptCreateHash(CALG_SHA_256) of the PROV_RSA_AES provider (its
// provider found once a process): a digest of no bytes yet. False where the
// system has neither (NTE_PROV_TYPE_NOT_DEF, NTE_BAD_ALGID).
bool StartDigest(DigestHandle& digest);
// BCryptHashData, or CryptHashData: `count` more bytes. A failure is kept in
// the digest, for FinishDigest to give: a digest may be fed on a thread of
// its own (os/files.h, CopyIntoFile), and the reason of a failed call is
// the run's thread's.
void AddToDigest(DigestHandle digest, const uint8_t* data, uint32_t count);
// BCryptFinishHash, or CryptGetHashParam(HP_HASHVAL): the digest of every
// byte added, in `found`, and whether it is `expected`; Failed, with the
// reason, where it cannot be had or an addition failed.
enum class Digest { Same, Different, Failed };
Digest FinishDigest(DigestHandle digest, const uint8_t (&expected)[DigestSize],
                    uint8_t (&found)[DigestSize]);

}  // namespace os

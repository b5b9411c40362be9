// The Windows half of os/digest.h: SHA-256 by the system's cryptography,
// CNG (bcrypt.dll, Windows Vista and later) where it is, else CryptoAPI's
// AES provider (advapi32, Windows XP SP3). bcrypt.dll is loaded from the
// system folder at the first digest, so that the program still starts
// where it is missing. CNG comes first because it is much the cheaper to
// begin: under Wine, CryptoAPI loads its provider in about 150 ms, more
// than a thousand small files' digests take.
#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <new>

#include "os/common_win.h"
#include "os/digest.h"

namespace os {

struct DigestObject {
  BCRYPT_HASH_HANDLE Hash = nullptr;  // CNG's digest, in Memory
  uint8_t* Memory = nullptr;
  HCRYPTHASH LegacyHash = 0;  // CryptoAPI's, where CNG is missing
  DWORD AddFailure = 0;       // why an addition failed, 0 when none did
};

namespace {

using OpenAlgorithm = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using GetProperty = NTSTATUS(WINAPI*)(BCRYPT_HANDLE, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);
using CreateHash = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG,
                                     PUCHAR, ULONG, ULONG);
using HashData = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHash = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
using StatusToError = ULONG(WINAPI*)(NTSTATUS);

// The system's SHA-256, found at the first digest and kept for the process:
// it holds no file or key, and the system releases it at the exit.
struct Provider {
  bool looked = false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;  // CNG's, or null
  ULONG objectSize = 0;
  CreateHash create = nullptr;
  HashData hash = nullptr;
  FinishHash finish = nullptr;
  DestroyHash destroy = nullptr;
  StatusToError toError = nullptr;
  HCRYPTPROV legacy = 0;  // CryptoAPI's, where CNG is missing
};
Provider g_provider;

// The system error of a failed CNG call.
DWORD ErrorOfStatus(NTSTATUS status) {
  DWORD error = g_provider.toError ? g_provider.toError(status) : 0;
  return error ? error : static_cast<DWORD>(ERROR_INVALID_FUNCTION);
}
template <typename Result>
Result FailedStatus(NTSTATUS status, Result result) {
  return FailedWith(ErrorOfStatus(status), result);
}

// CNG's SHA-256, where bcrypt.dll has it; false (and no reason) where not.
bool FindCng() {
  HMODULE module = LoadSystemModule("\\bcrypt.dll");
  if (!module) return false;
  auto open = ModuleFunction<OpenAlgorithm>(module, "BCryptOpenAlgorithmProvider");
  auto property = ModuleFunction<GetProperty>(module, "BCryptGetProperty");
  g_provider.create = ModuleFunction<CreateHash>(module, "BCryptCreateHash");
  g_provider.hash = ModuleFunction<HashData>(module, "BCryptHashData");
  g_provider.finish = ModuleFunction<FinishHash>(module, "BCryptFinishHash");
  g_provider.destroy = ModuleFunction<DestroyHash>(module, "BCryptDestroyHash");
  g_provider.toError = FunctionAt<StatusToError>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlNtStatusToDosError"));
  ULONG size = 0, written = 0;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  bool found = open && property && g_provider.create && g_provider.hash && g_provider.finish &&
               g_provider.destroy &&
               BCRYPT_SUCCESS(open(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
               BCRYPT_SUCCESS(property(algorithm, BCRYPT_OBJECT_LENGTH,
                                       reinterpret_cast<PUCHAR>(&size), sizeof size, &written,
                                       0)) &&
               written == sizeof size;
  if (!found) {
    FreeLibrary(module);  // nothing of it is kept
    return false;
  }
  g_provider.algorithm = algorithm;
  g_provider.objectSize = size;
  return true;
}

// The provider, looked for once: CNG's, else CryptoAPI's; false, with the
// reason, where the system has neither.
bool FindProvider() {
  if (!g_provider.looked) {
    g_provider.looked = true;
    if (!FindCng() && !CryptAcquireContextA(&g_provider.legacy, nullptr, nullptr, PROV_RSA_AES,
                                            CRYPT_VERIFYCONTEXT)) {
      g_provider.legacy = 0;
      return Failed(false);
    }
  }
  return g_provider.algorithm || g_provider.legacy ||
         FailedWith(static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF), false);
}

}  // namespace

void CloseDigest(DigestHandle digest) {
  if (digest->Hash) g_provider.destroy(digest->Hash);
  if (digest->LegacyHash) CryptDestroyHash(digest->LegacyHash);
  free(digest->Memory);
  delete digest;
}

bool StartDigest(DigestHandle& digest) {
  OwnedDigest made(new (std::nothrow) DigestObject);
  if (!made.IsOpen()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  if (!FindProvider()) return false;
  DigestObject& object = *made.Get();
  if (g_provider.algorithm) {
    object.Memory = static_cast<uint8_t*>(malloc(g_provider.objectSize));
    if (!object.Memory) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
    NTSTATUS status = g_provider.create(g_provider.algorithm, &object.Hash, object.Memory,
                                        g_provider.objectSize, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) {
      object.Hash = nullptr;
      return FailedStatus(status, false);
    }
  } else if (!CryptCreateHash(g_provider.legacy, CALG_SHA_256, 0, 0, &object.LegacyHash)) {
    object.LegacyHash = 0;
    return Failed(false);
  }
  digest = made.Release();
  return true;
}

void AddToDigest(DigestHandle digest, const uint8_t* data, uint32_t count) {
  if (digest->AddFailure) return;
  if (!digest->Hash) {
    if (!CryptHashData(digest->LegacyHash, data, count, 0)) digest->AddFailure = GetLastError();
    return;
  }
  NTSTATUS status = g_provider.hash(digest->Hash, const_cast<PUCHAR>(data), count, 0);
  if (!BCRYPT_SUCCESS(status)) digest->AddFailure = ErrorOfStatus(status);
}

Digest FinishDigest(DigestHandle digest, const uint8_t (&expected)[DigestSize],
                    uint8_t (&found)[DigestSize]) {
  if (digest->AddFailure) return FailedWith(digest->AddFailure, Digest::Failed);
  if (digest->Hash) {
    NTSTATUS status = g_provider.finish(digest->Hash, found, DigestSize, 0);
    if (!BCRYPT_SUCCESS(status)) return FailedStatus(status, Digest::Failed);
  } else {
    DWORD size = DigestSize;
    if (!CryptGetHashParam(digest->LegacyHash, HP_HASHVAL, found, &size, 0))
      return Failed(Digest::Failed);
    if (size != DigestSize) return FailedWith(static_cast<DWORD>(NTE_BAD_LEN), Digest::Failed);
  }
  return memcmp(found, expected, DigestSize) == 0 ? Digest::Same : Digest::Different;
}

}  // namespace os

// The Windows half of os/trust.h.
#include <windows.h>
#include <softpub.h>   // types only: wintrust.dll and crypt32.dll are loaded at run time
#include <wintrust.h>

#include <cstdlib>
#include <cwchar>

#include "os/common_win.h"
#include "os/trust.h"

namespace {

using os::FailedWith;

using VerifyFunction = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProviderDataFunction = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProviderSignerFunction = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL,
                                                               DWORD);
using NameFunction = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// What a result of WinVerifyTrust says of the file.
os::Signature Judged(LONG result) {
  DWORD code = static_cast<DWORD>(result);
  if (code == static_cast<DWORD>(TRUST_E_NOSIGNATURE)) return os::Signature::Unsigned;
  // The certificate's own failures (CERT_E_EXPIRED to CERT_E_UNTRUSTEDCA,
  // TRUST_E_EXPLICIT_DISTRUST among them), a policy that trusts no such
  // publisher, a revoked one.
  bool chain = (code >= static_cast<DWORD>(CERT_E_EXPIRED) &&
                code <= static_cast<DWORD>(CERT_E_UNTRUSTEDCA)) ||
               code == static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED) ||
               code == static_cast<DWORD>(TRUST_E_CERT_SIGNATURE) ||
               code == static_cast<DWORD>(CRYPT_E_REVOKED) ||
               code == static_cast<DWORD>(CRYPT_E_SECURITY_SETTINGS);
  return chain ? os::Signature::Untrusted : os::Signature::Invalid;
}

// `wide` in the ANSI code page, "?" for what has no form there.
bool WideToAnsi(const wchar_t* wide, os::OwnedText& ansi) {
  int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  char* text = size > 0 ? static_cast<char*>(malloc(size)) : nullptr;
  ansi.Receive() = text;
  return text && WideCharToMultiByte(CP_ACP, 0, wide, -1, text, size, nullptr, nullptr) == size;
}

// The common name of the signer of the verified state `state`, compared
// with `wanted`.
bool SignerName(HMODULE wintrust, HANDLE state, const wchar_t* wanted, os::Signer& signer,
                bool& same) {
  os::OwnedModule crypt32(os::LoadSystemModule("\\crypt32.dll"));
  auto providerData =
      os::ModuleFunction<ProviderDataFunction>(wintrust, "WTHelperProvDataFromStateData");
  auto providerSigner =
      os::ModuleFunction<ProviderSignerFunction>(wintrust, "WTHelperGetProvSignerFromChain");
  auto name = os::ModuleFunction<NameFunction>(crypt32.Get(), "CertGetNameStringW");
  if (!providerData || !providerSigner || !name) return FailedWith(ERROR_PROC_NOT_FOUND, false);
  CRYPT_PROVIDER_DATA* data = providerData(state);
  CRYPT_PROVIDER_SGNR* first = data ? providerSigner(data, 0, FALSE, 0) : nullptr;
  if (!first || first->csCertChain == 0 || !first->pasCertChain[0].pCert)
    return FailedWith(static_cast<DWORD>(TRUST_E_NOSIGNATURE), false);
  PCCERT_CONTEXT certificate = first->pasCertChain[0].pCert;
  char oid[] = szOID_COMMON_NAME;
  DWORD length = name(certificate, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
  os::Block area(length * sizeof(wchar_t));
  wchar_t* wide = reinterpret_cast<wchar_t*>(area.Data());
  if (length <= 1 || !wide ||
      name(certificate, CERT_NAME_ATTR_TYPE, 0, oid, wide, length) != length)
    return FailedWith(static_cast<DWORD>(CRYPT_E_NOT_FOUND), false);
  same = wcscmp(wide, wanted) == 0;
  return (os::WideToUtf8(wide, signer.Utf8) && WideToAnsi(wide, signer.Ansi)) ||
         FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
}

}  // namespace

namespace os {

Signature VerifySignature(FileHandle file, const char* path, const char* signer, Signer& found) {
  found.Utf8.Close();
  found.Ansi.Close();
  OwnedModule wintrust(LoadSystemModule("\\wintrust.dll"));
  auto verify = ModuleFunction<VerifyFunction>(wintrust.Get(), "WinVerifyTrust");
  WideText widePath(path, CP_ACP);
  WideText wanted(signer, CP_ACP);
  if (!verify) return FailedWith(ERROR_PROC_NOT_FOUND, Signature::Invalid);
  if (!widePath.Valid() || !wanted.Valid())
    return FailedWith(ERROR_NOT_ENOUGH_MEMORY, Signature::Invalid);
  WINTRUST_FILE_INFO fileInfo = {};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = widePath.Text();
  fileInfo.hFile = static_cast<HANDLE>(file);
  WINTRUST_DATA trust = {};
  trust.cbStruct = sizeof trust;
  trust.dwUIChoice = WTD_UI_NONE;
  trust.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust.dwUnionChoice = WTD_CHOICE_FILE;
  trust.pFile = &fileInfo;
  trust.dwStateAction = WTD_STATEACTION_VERIFY;
  trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  LONG result = verify(noWindow, &action, &trust);
  Signature outcome = result == 0 ? Signature::Verified : Judged(result);
  bool same = false;
  if (outcome != Signature::Verified) FailedWith(static_cast<DWORD>(result), outcome);
  else if (!SignerName(wintrust.Get(), trust.hWVTStateData, wanted.Text(), found, same))
    outcome = Signature::Invalid;
  else if (!same)
    outcome = Signature::OtherSigner;
  trust.dwStateAction = WTD_STATEACTION_CLOSE;
  verify(noWindow, &action, &trust);
  return outcome;
}

}  // namespace os

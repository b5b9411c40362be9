// The OS seam: signatures. Whether a file carries a publisher's signature
// that the system verifies and trusts, and whose it is. See os/basics.h for
// the seam as a whole and for the reasons of failed calls.
#pragma once

#include "os/files.h"
#include "os/owned.h"

namespace os {

// What the system found of a file's signature.
enum class Signature {
  Verified,     // it verifies, its chain leads to a trusted root, and its
                // signer is the one asked for
  OtherSigner,  // the same, but another signer's
  Unsigned,     // the file carries none
  Invalid,      // one that does not verify (a changed or damaged file), or
                // the system cannot check signatures at all
  Untrusted,    // it verifies, but its chain is untrusted, expired or revoked
};

// The name of a signature's signer: the subject's common name of the
// signing certificate, in UTF-8 and in the ANSI code page ("?" for what has
// no form there, fit only for a report).
struct Signer {
  OwnedText Utf8;
  OwnedText Ansi;
};

// Verifies the signature of the open `file` (at `path`) through its handle:
// WinVerifyTrust with WINTRUST_ACTION_GENERIC_VERIFY_V2 (WTD_UI_NONE,
// WTD_REVOKE_NONE, WTD_CACHE_ONLY_URL_RETRIEVAL: nothing is fetched over the
// network), then for a verified one its signer into `found`
// (WTHelperProvDataFromStateData, WTHelperGetProvSignerFromChain,
// CertGetNameStringW with CERT_NAME_ATTR_TYPE and the common name), compared
// exactly with `signer` (ANSI, MultiByteToWideChar), and
// WTD_STATEACTION_CLOSE. wintrust.dll and crypt32.dll are loaded from the
// system folder at run time: where they or a call are missing, the file is
// Invalid. Every outcome but Verified and OtherSigner keeps its reason (the
// result of WinVerifyTrust); so does a verified one whose signer's name
// cannot be read, which is given as Invalid.
Signature VerifySignature(FileHandle file, const char* path, const char* signer, Signer& found);

}  // namespace os

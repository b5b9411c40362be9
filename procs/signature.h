// The check of a file's publisher (SIGNER of COPY and LAUNCH), made on the
// open file that the procedure then copies or starts, so that nothing can
// take its place between the check and its use.
#pragma once

#include "base/text_string.h"
#include "os/files.h"

// True when the open `file` at `path` carries a signature that the system
// verifies and trusts, by the publisher `signer` (the signing certificate's
// common name, compared exactly). Otherwise false, after the report that
// says why: no signature, one that does not verify, one not trusted, or
// another publisher's. A verified signature is logged with its signer.
bool SignedBy(os::FileHandle file, const char* path, const TextString& signer);

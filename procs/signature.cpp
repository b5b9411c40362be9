#include "procs/signature.h"

#include "base/report.h"
#include "base/run_events.h"
#include "os/trust.h"

bool SignedBy(os::FileHandle file, const char* path, const TextString& signer) {
  os::Signer found;
  os::Signature outcome = os::VerifySignature(file, path, signer.Text(), found);
  if (outcome == os::Signature::Verified || outcome == os::Signature::OtherSigner)
    ReportFileAction(FileAction::SignerChecked, path, found.Utf8.IsOpen() ? found.Utf8.Get() : "");
  switch (outcome) {
    case os::Signature::Verified:
      return true;
    case os::Signature::OtherSigner:
      ShowError(MsgOtherSigner, path, found.Ansi.IsOpen() ? found.Ansi.Get() : "");
      return false;
    case os::Signature::Unsigned:
      ShowError(MsgUnsigned, path);
      return false;
    case os::Signature::Untrusted:
      ShowError(MsgSignatureUntrusted, path);
      return false;
    case os::Signature::Invalid:
      break;
  }
  ShowError(MsgSignatureInvalid, path);
  return false;
}

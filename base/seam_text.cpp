#include "base/seam_text.h"

bool SeamText(TextCall call, const char* given, TextString& text) {
  os::OwnedText made;
  return call(given, made) && text.SetText(made.Get());
}

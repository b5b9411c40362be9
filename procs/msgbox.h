// What the script checker asks of MSGBOX beside its description.
#pragma once

#include "base/text_string.h"

// The answer an unattended run gives a yes/no box of `type` that has no
// ANSWER, its default button: "Yes" or "No"; null for any other type.
const char *UnattendedDefaultAnswer(const TextString &type);

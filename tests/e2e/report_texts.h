// The error reports as the user reads them, written out once: each
// message's text with its placeholders, and a formatter of its own that
// fills them in. Cases compare what the program shows with these, never
// with the program's own catalogue or formatting, so that a wrong entry in
// either fails them.
//
// A text that names no message is a fault of the bench, thrown as
// std::runtime_error.
#ifndef TESTS_E2E_REPORT_TEXTS_H
#define TESTS_E2E_REPORT_TEXTS_H

#include <string>

namespace e2e {

// Report `id` with its text particulars in order ("%s"); a message that
// takes fewer ignores the rest.
std::string Report(unsigned id, const std::string& first = "", const std::string& second = "");

// Report `id` as a run with LANGUAGE=EN shows it, for the few reports a
// case reads in English.
std::string EnglishReport(unsigned id, const std::string& first = "",
                          const std::string& second = "");

// Report 12: attributes that could not be set, a path and the value
// ("0x%08X").
std::string ReportAttributes(const std::string& path, unsigned value);
// Message 34: `program` ended with exit code `code`, not one of success.
std::string ReportExitCode(const std::string& program, unsigned code);

}  // namespace e2e

#endif  // TESTS_E2E_REPORT_TEXTS_H

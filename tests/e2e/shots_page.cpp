#include "shots_page.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// Boxes break lines with CRLF; the page shows each break once.
std::string WithoutCr(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

// The anchor and picture name of a box ("box-N") or a view of the progress
// window ("progress-N"), and how the page calls it.
std::string Anchor(const Shown& shown) {
  return (shown.isBox ? "box-" : "progress-") + std::to_string(shown.index + 1);
}
std::string Called(const Shown& shown) {
  return (shown.isBox ? "box " : "progress window ") + std::to_string(shown.index + 1);
}

std::string RunEnd(const RunResult& result) {
  if (result.timedOut) return "the run did not end in time and was ended";
  return "the run ended with exit code " + std::to_string(result.exitCode);
}

void Row(std::ostream& page, const char* name, const std::string& html) {
  page << "<tr><th>" << name << "</th><td>" << html << "</td></tr>\n";
}

// The section's heading and picture, copied beside the page.
void Heading(std::ostream& page, const Shown& shown, const std::string& caption,
             const std::string& shot, const std::string& dir) {
  std::string called = Called(shown);
  called[0] = static_cast<char>(toupper(called[0]));
  page << "<section id=\"" << Anchor(shown) << "\">\n"
       << "<h2>" << called << ": " << caption << "</h2>\n";
  if (shot.empty()) {
    page << "<p>(no picture)</p>\n";
    return;
  }
  std::error_code ec;
  const std::string picture = Anchor(shown) + ".png";
  fs::copy_file(shot, fs::path(dir) / picture, fs::copy_options::overwrite_existing, ec);
  if (ec) throw std::runtime_error("cannot copy " + shot + ": " + ec.message());
  page << "<p><img src=\"" << picture << "\" alt=\"" << called << ": " << caption << "\"></p>\n";
}

}  // namespace

void WriteShotsPage(const RunResult& result, const std::string& title, const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir)) throw std::runtime_error("cannot make the folder " + dir);
  const std::regex picture("(box|progress)-[0-9]+\\.png");
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && std::regex_match(entry.path().filename().string(), picture))
      fs::remove(entry.path());
  }

  std::ostringstream page;
  page << "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
       << "<title>" << HtmlEscape(title) << "</title>\n"
       << "<style>\n"
       << "body { font-family: sans-serif; margin: 2em; }\n"
       << "section { margin-bottom: 2.5em; }\n"
       << "img { border: 1px solid #ccc; }\n"
       << "th { text-align: left; vertical-align: top; padding-right: 1em; }\n"
       << "pre { margin: 0; white-space: pre-wrap; font-family: inherit; }\n"
       << "</style>\n</head>\n<body>\n"
       << "<h1>" << HtmlEscape(title) << "</h1>\n"
       << "<p>" << result.boxes.size() << " message box(es), " << result.progress.size()
       << " view(s) of the progress window; " << RunEnd(result) << ".</p>\n";

  const std::vector<Shown> shown = InOrder(result);
  for (size_t i = 0; i < shown.size(); ++i) {
    std::string buttons;
    if (shown[i].isBox) {
      const Box& box = result.boxes[shown[i].index];
      const std::string caption = HtmlEscape(box.caption);
      Heading(page, shown[i], caption, box.shot, dir);
      for (const std::string& button : box.buttons) {
        if (!buttons.empty()) buttons += ", ";
        buttons += HtmlEscape(button) + (button == box.defaultButton ? " (default)" : "");
      }
      page << "<table>\n";
      Row(page, "caption", caption);
      Row(page, "text", "<pre>" + HtmlEscape(WithoutCr(box.text)) + "</pre>");
      Row(page, "icon", HtmlEscape(box.icon));
      Row(page, "buttons", buttons);
      Row(page, "pressed", HtmlEscape(box.pressed));
    } else {
      const ProgressSight& sight = result.progress[shown[i].index];
      const std::string caption = HtmlEscape(sight.caption);
      Heading(page, shown[i], caption, sight.shot, dir);
      for (const std::string& button : sight.buttons)
        buttons += (buttons.empty() ? "" : ", ") + HtmlEscape(button);
      page << "<table>\n";
      Row(page, "caption", caption);
      Row(page, "text", HtmlEscape(sight.text));
      Row(page, "bars", std::to_string(sight.bars));
      Row(page, "buttons", buttons);
      Row(page, "pressed", sight.pressed.empty() ? "(nothing)" : HtmlEscape(sight.pressed));
    }
    Row(page, "next",
        i + 1 < shown.size()
            ? "<a href=\"#" + Anchor(shown[i + 1]) + "\">" + Called(shown[i + 1]) + "</a>"
            : RunEnd(result));
    page << "</table>\n</section>\n";
  }
  if (!result.warnings.empty()) {
    page << "<h2>Warnings</h2>\n<ul>\n";
    for (const std::string& warning : result.warnings)
      page << "<li>" << HtmlEscape(warning) << "</li>\n";
    page << "</ul>\n";
  }
  page << "</body>\n</html>\n";

  const fs::path index = fs::path(dir) / "index.html";
  std::ofstream out(index, std::ios::binary | std::ios::trunc);
  const std::string bytes = page.str();
  out.write(bytes.data(), bytes.size());
  if (!out) throw std::runtime_error("cannot write " + index.string());
}

}  // namespace e2e

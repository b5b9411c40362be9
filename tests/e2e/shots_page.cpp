#include "shots_page.h"

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

std::string PictureName(size_t number) { return "box-" + std::to_string(number) + ".png"; }

std::string RunEnd(const RunResult& result) {
  if (result.timedOut) return "the run did not end in time and was ended";
  return "the run ended with exit code " + std::to_string(result.exitCode);
}

void Row(std::ostream& page, const char* name, const std::string& html) {
  page << "<tr><th>" << name << "</th><td>" << html << "</td></tr>\n";
}

}  // namespace

void WriteShotsPage(const RunResult& result, const std::string& title, const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir)) throw std::runtime_error("cannot make the folder " + dir);
  const std::regex picture("box-[0-9]+\\.png");
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
       << "<p>" << result.boxes.size() << " message box(es); " << RunEnd(result) << ".</p>\n";

  for (size_t i = 0; i < result.boxes.size(); ++i) {
    const Box& box = result.boxes[i];
    const size_t number = i + 1;
    const std::string caption = HtmlEscape(box.caption);
    page << "<section id=\"box-" << number << "\">\n"
         << "<h2>Box " << number << ": " << caption << "</h2>\n";
    if (box.shot.empty()) {
      page << "<p>(no picture)</p>\n";
    } else {
      fs::copy_file(box.shot, fs::path(dir) / PictureName(number),
                    fs::copy_options::overwrite_existing, ec);
      if (ec) throw std::runtime_error("cannot copy " + box.shot + ": " + ec.message());
      page << "<p><img src=\"" << PictureName(number) << "\" alt=\"Box " << number << ": "
           << caption << "\"></p>\n";
    }
    std::string buttons;
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
    const std::string next = std::to_string(number + 1);
    Row(page, "next",
        number < result.boxes.size() ? "<a href=\"#box-" + next + "\">box " + next + "</a>"
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

#include "support/pdf.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>

namespace palvane::testing {
namespace {

std::string Unescape(std::string s) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : entities) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) {
      s.replace(at, std::string(from).size(), to);
    }
  }
  return s;
}

}  // namespace

std::vector<PdfPage> ReadPdf(const std::string& path) {
  const std::string command = "pdftotext -bbox '" + path + "' - 2>/dev/null";
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return {};
  std::string out;
  char buf[65536];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  if (::pclose(p) != 0) return {};
  std::vector<PdfPage> pages;
  static const std::regex page(R"re(<page width="(-?[\d.]+)" height="(-?[\d.]+)">)re");
  static const std::regex word(
      R"re(<word xMin="(-?[\d.]+)" yMin="(-?[\d.]+)" xMax="(-?[\d.]+)" yMax="(-?[\d.]+)">([^<]*)</word>)re");
  size_t at = 0;
  while (true) {
    const size_t start = out.find("<page ", at);
    if (start == std::string::npos) break;
    size_t end = out.find("</page>", start);
    if (end == std::string::npos) end = out.size();
    const std::string body = out.substr(start, end - start);
    std::smatch m;
    PdfPage pg;
    if (std::regex_search(body, m, page)) {
      pg.width = std::stod(m[1]);
      pg.height = std::stod(m[2]);
    }
    for (auto it = std::sregex_iterator(body.begin(), body.end(), word);
         it != std::sregex_iterator(); ++it) {
      pg.words.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                          std::stod((*it)[4]), Unescape((*it)[5])});
    }
    pages.push_back(std::move(pg));
    at = end;
  }
  return pages;
}

std::vector<std::string> OverlappingWords(const std::vector<PdfPage>& pages, double slack) {
  std::vector<std::string> out;
  for (size_t n = 0; n < pages.size(); ++n) {
    std::vector<PdfWord> words = pages[n].words;
    std::sort(words.begin(), words.end(),
              [](const PdfWord& a, const PdfWord& b) { return a.x0 < b.x0; });
    for (size_t i = 0; i < words.size(); ++i) {
      for (size_t k = i + 1; k < words.size() && words[k].x0 < words[i].x1 - slack; ++k) {
        const PdfWord &a = words[i], &b = words[k];
        if (b.y0 < a.y1 - slack && a.y0 < b.y1 - slack) {
          out.push_back("page " + std::to_string(n + 1) + ": '" + a.text + "' and '" + b.text +
                        "'");
        }
      }
    }
  }
  return out;
}

std::string PageText(const PdfPage& page) {
  std::string out;
  for (const PdfWord& w : page.words) out += (out.empty() ? "" : " ") + w.text;
  return out;
}

}  // namespace palvane::testing

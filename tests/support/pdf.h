#pragma once

// A PDF's pages and words as poppler's pdftotext reads them (-bbox): the
// independent reader every PDF the tests write goes through.

#include <string>
#include <vector>

namespace palvane::testing {

struct PdfWord {
  double x0, y0, x1, y1;  // points, from the page's top left corner
  std::string text;
};

struct PdfPage {
  double width = 0, height = 0;  // points
  std::vector<PdfWord> words;
};

// The pages of the PDF at `path`; none when pdftotext cannot read it.
std::vector<PdfPage> ReadPdf(const std::string& path);

// Pairs of words on one page whose boxes overlap by more than `slack`
// points, as "page N: 'a' and 'b'".
std::vector<std::string> OverlappingWords(const std::vector<PdfPage>& pages, double slack = 0.01);

// All words of a page, joined by single spaces.
std::string PageText(const PdfPage& page);

}  // namespace palvane::testing

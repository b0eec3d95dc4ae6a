#include <iconv.h>

#include <cstring>

#include "platform/code_page.h"

namespace palvane::platform {

struct CodePage::Converter {
  iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);
  iconv_t from_utf8 = reinterpret_cast<iconv_t>(-1);
};

CodePage::CodePage(const std::string& name) : converter_(std::make_unique<Converter>()) {
  const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  converter_->to_utf8 = iconv_open("UTF-8", name.c_str());
  if (converter_->to_utf8 == kNone) converter_->to_utf8 = iconv_open("UTF-8", "CP1252");
  converter_->from_utf8 = iconv_open(name.c_str(), "UTF-8");
  if (converter_->from_utf8 == kNone) converter_->from_utf8 = iconv_open("CP1252", "UTF-8");
}

CodePage::~CodePage() {
  const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  if (converter_->to_utf8 != kNone) iconv_close(converter_->to_utf8);
  if (converter_->from_utf8 != kNone) iconv_close(converter_->from_utf8);
}

std::string CodePage::ToUtf8(std::string_view bytes) const {
  iconv_t cd = converter_->to_utf8;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  std::string buf(bytes.size() * 4 + 8, '\0');
  char* outp = buf.data();
  size_t out_left = buf.size();
  while (in_left > 0) {
    if (iconv(cd, &in, &in_left, &outp, &out_left) == static_cast<size_t>(-1)) {
      // An undefined byte: mark it and go on.
      static const char kReplacement[] = "\xEF\xBF\xBD";
      if (out_left < 3) break;
      std::memcpy(outp, kReplacement, 3);
      outp += 3;
      out_left -= 3;
      ++in;
      --in_left;
    }
  }
  buf.resize(buf.size() - out_left);
  return buf;
}

bool CodePage::AppendFromUtf8(std::string_view character, std::string& out) const {
  iconv_t cd = converter_->from_utf8;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(character.data());
  size_t in_left = character.size();
  char buf[8];
  char* outp = buf;
  size_t out_left = sizeof buf;
  if (iconv(cd, &in, &in_left, &outp, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
    return false;
  }
  out.append(buf, sizeof buf - out_left);
  return true;
}

}  // namespace palvane::platform

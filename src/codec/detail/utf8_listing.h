#pragma once
// A converter's listing of a UTF-8 text, in UTF-8, made through its UTF-16
// Feed and Finish: the one way both listings (the tables' and a .tbl's) take
// UTF-8 in and give it out.

#include <string>
#include <string_view>

#include "runtime/utf8.h"

namespace binconv::detail {

class Utf8Listing {
 public:
  // `run` converts the whole characters at the start of the bytes it is
  // given straight into `listing` and returns how many bytes it took, or
  // Utf8TextInput::kRunClosed for none; the rest is decoded and fed.
  template <class Converter, class Run>
  bool Feed(Converter& converter, std::string_view bytes, Run&& run, std::string& listing) {
    return input_.Take(bytes, run, [&](std::u16string_view text) {
      listing16_.clear();
      converter.Feed(text, listing16_);
      AppendUtf8(listing16_, listing);
    });
  }

  template <class Converter>
  bool Finish(Converter& converter, std::string& listing) {
    const bool good = input_.Finish();
    listing16_.clear();
    converter.Finish(listing16_);
    // A text cut off inside a character gives nothing more.
    if (good) AppendUtf8(listing16_, listing);
    return good;
  }

  Utf8Error error() const { return input_.error(); }

 private:
  Utf8TextInput input_;
  std::u16string listing16_;  // the listing of a decoded stretch
};

}  // namespace binconv::detail

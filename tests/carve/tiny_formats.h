// Two small formats for the tests of the search by content, installed with carve::set_formats:
// a JPEG runs from its FF D8 FF start to the first FF D9; a PNG from its signature through its
// chunks to IEND (a chunk whose type is not four letters breaks it off: found, not complete).
#pragma once

#include "carve/carve_scan.h"

namespace dravelo::test {

carve::Formats tiny_formats();

// Installs the tiny formats for a scope.
class TinyFormats {
 public:
  TinyFormats() : previous_(carve::set_formats(tiny_formats())) {}
  ~TinyFormats() { carve::set_formats(previous_); }

 private:
  carve::Formats previous_;
};

}  // namespace dravelo::test

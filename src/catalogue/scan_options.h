// What an analysis reads of each volume, handed from the front ends through the analysis driver
// to the engines.
#pragma once

namespace dravelo {

struct ScanOptions {
  // A quick scan (false) reads a volume's metadata only: the FAT and the folders (deleted ones
  // read on through their own entries), the $MFT, exFAT's folders. Its cost follows the amount
  // of metadata, not the size of the volume. A deep scan, which the user asks for, also reads
  // the free space for what no folder leads to any more (on FAT: folders whose entry is gone or
  // whose later clusters lie apart from their first); on a large device that takes about the
  // device's whole read time.
  bool deep = false;
};

}  // namespace dravelo

#include "fat/fat_scan.h"

namespace dravelo {

bool ScanFatVolume() { return false; }

}  // namespace dravelo

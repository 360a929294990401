#include "ntfs/ntfs_scan.h"

namespace dravelo {

bool AnalyzeNtfsVolume() { return false; }

}  // namespace dravelo

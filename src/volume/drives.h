// The drive list: the volumes that Dravelo can scan, each given a letter from c on.
#pragma once

#include <string>
#include <vector>

#include "catalogue/records.h"

namespace dravelo {

// Describes one volume (an image file or a block device) without adding it anywhere.
// Returns false when it cannot be examined at all.
bool describe_volume(const std::string& path, bool is_image, DriveInfo* out);

// Rebuilds drive_list: the image files in the order given, then (when include_devices) the block
// devices that hold a file system. Letters run from c; the first volume starts ticked.
void get_drives(const std::vector<std::string>& images, bool include_devices);

// " (465.76 GB)" or " (720.00 MB)" for a size in MiB, with the blank in front.
std::string drive_size_text(double size_mib);

}  // namespace dravelo

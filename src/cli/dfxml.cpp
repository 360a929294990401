#include "cli/dfxml.h"

#include <cctype>
#include <ctime>
#include <string_view>

#include "catalogue/catalogue.h"
#include "catalogue/date_time.h"
#include "catalogue/local_time.h"
#include "catalogue/recovery.h"
#include "catalogue/result_text.h"
#include "catalogue/text_util.h"
#include "catalogue/version.h"
#include "workflow/found_file_extents.h"
#include "workflow/volume_binding.h"

namespace dravelo::cli {
namespace {

// Text for an element or an attribute: control characters escaped as the other outputs show
// them (XML 1.0 cannot carry most of them at all), then the five XML specials.
std::string xml(std::string_view text) {
  const std::string shown = escape_controls(text);
  std::string out;
  out.reserve(shown.size());
  for (char c : shown) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// The catalogue's dates are local time; DFXML's are UTC ("2023-05-10T09:00:00Z"). The offset is
// the one local time had then, worked out as the TSV and JSON outputs do.
std::string utc_time(DateTime value) {
  if (value == 0) return {};
  const double seconds = (value - 25569.0) * 86400.0;
  long east = 0;
  if (seconds > -1e17 && seconds < 1e17) {
    const auto guess = static_cast<std::time_t>(seconds);
    long first = 0;
    if (local_utc_offset(guess, &first) && !local_utc_offset(guess - first, &east)) east = first;
  }
  const std::string text = format_iso_date(value - static_cast<double>(east) / 86400.0);
  return text.empty() ? text : text + "Z";
}

// The file's path on its volume, as DFXML tools write it: folders from the root, "/" between.
std::string volume_path(const FileInfo& e) {
  std::string path = e.Path;
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') path.erase(0, 3);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path + e.FileName;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void print_dfxml(std::FILE* out, const std::vector<std::string>& command_line) {
  std::string command;
  for (const std::string& a : command_line) command += (command.empty() ? "" : " ") + a;
  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<dfxml xmloutputversion=\"1.0\" xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\"\n"
               "       xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dravelo=\"https://dravelo.example/dfxml\">\n"
               "  <metadata>\n    <dc:type>Deleted files</dc:type>\n  </metadata>\n"
               "  <creator version=\"1.0\">\n    <program>%s</program>\n    <version>%s</version>\n"
               "    <execution_environment>\n      <command_line>%s</command_line>\n"
               "    </execution_environment>\n  </creator>\n",
               kProductName, kVersionText, xml(command).c_str());
  // The scanned volumes, by their place at scan time (FileInfo::drive).
  std::vector<std::int32_t> drives;
  for (std::size_t i = 0; i < analysed_volumes.size(); ++i)
    if (analysed_volumes[i].known) drives.push_back(static_cast<std::int32_t>(i));
  std::fprintf(out, "  <source>\n");
  for (std::int32_t d : drives)
    std::fprintf(out, "    <image_filename>%s</image_filename>\n",
                 xml(analysed_volumes[static_cast<std::size_t>(d)].device_path).c_str());
  std::fprintf(out, "  </source>\n");

  // Every volume is read once for all its files.
  RecoverSession session;
  for (std::int32_t d : drives) {
    const VolumeIdentity& id = analysed_volumes[static_cast<std::size_t>(d)];
    const std::int32_t listed = listed_volume(d);
    // A volume starts at its place on the disk or image: 0 for a whole image, further in for a
    // partition. fs_offset counts from the volume's start, img_offset from the image's.
    std::fprintf(out, "  <volume offset=\"%lld\">\n    <partition_offset>%lld</partition_offset>\n",
                 static_cast<long long>(id.volume_offset), static_cast<long long>(id.volume_offset));
    if (id.bytes_per_sector && id.sectors_per_cluster)
      std::fprintf(out, "    <block_size>%llu</block_size>\n",
                   static_cast<unsigned long long>(id.bytes_per_sector) * id.sectors_per_cluster);
    std::fprintf(out, "    <ftype_str>%s</ftype_str>\n", xml(lower(id.drive_fs)).c_str());
    if (id.bytes_per_sector)
      std::fprintf(out, "    <sector_size>%u</sector_size>\n    <block_count>%llu</block_count>\n", id.bytes_per_sector,
                   id.sectors_per_cluster ? static_cast<unsigned long long>(id.total_sectors / id.sectors_per_cluster) : 0ULL);
    for (std::int32_t k = 0; k < file_count(); ++k) {
      const FileInfo& e = file_list[k];
      if (e.drive != d) continue;
      std::string row = "    <fileobject>\n      <filename>" + xml(volume_path(e)) + "</filename>\n      <filesize>" +
                        std::to_string(e.FileSize) + "</filesize>\n      <alloc>0</alloc>\n      <inode>" +
                        std::to_string(e.inode) + "</inode>\n";
      if (const std::string t = utc_time(e.DateModified); !t.empty()) row += "      <mtime>" + t + "</mtime>\n";
      if (const std::string t = utc_time(e.DateCreated); !t.empty()) row += "      <crtime>" + t + "</crtime>\n";
      row += "      <dravelo:status percent=\"" + std::to_string(e.Percent) + "\">" + xml(status_text(e.Percent)) +
             "</dravelo:status>\n";
      // Where the recovery would read the file's bytes; none when the volume is no longer the
      // one scanned, for a file whose data lies in its record, or whose runs hold it compressed.
      if (listed >= 0) {
        FileInfo at = e;
        at.drive = listed;
        const FileExtents extents = found_file_extents(at);
        if (extents.ok && !extents.resident && !extents.compressed) {
          row += "      <byte_runs>\n";
          for (const FileExtent& r : extents.runs)
            row += "        <byte_run file_offset=\"" + std::to_string(r.file_offset) + "\" fs_offset=\"" +
                   std::to_string(r.volume_offset) + "\" img_offset=\"" + std::to_string(id.volume_offset + r.volume_offset) +
                   "\" len=\"" + std::to_string(r.length) + "\"/>\n";
          row += "      </byte_runs>\n";
        } else if (extents.resident) {
          row += "      <dravelo:data>resident</dravelo:data>\n";
        } else if (extents.compressed) {
          row += "      <dravelo:data>compressed</dravelo:data>\n";
        }
      }
      row += "    </fileobject>\n";
      std::fputs(row.c_str(), out);
    }
    std::fprintf(out, "  </volume>\n");
  }
  std::fprintf(out, "</dfxml>\n");
}

}  // namespace dravelo::cli

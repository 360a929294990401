#include "cli/help.h"

#include <cstdio>

#include "catalogue/version.h"

namespace dravelo::cli {
namespace {

const char kExitStatus[] =
    "exit status:\n"
    "  0  every named volume was scanned (and every chosen file recovered complete)\n"
    "  1  some volume could not be scanned, or (recover) no file was picked or some file was not\n"
    "     recovered complete; the run still does all it can\n"
    "  2  usage error\n";

const char kScanExitStatus[] =
    "exit status:\n"
    "  0  every named volume was scanned\n"
    "  1  some volume could not be scanned, or could be read only in part (said on stderr); the\n"
    "     others still are\n"
    "  2  usage error\n";

const char kProgramHelp[] =
    "usage: dravelo-cli COMMAND [OPTIONS] VOLUME...\n"
    "       dravelo-cli help COMMAND\n"
    "       dravelo-cli --help | --version\n"
    "\n"
    "Finds deleted files on FAT12, FAT16, FAT32, exFAT and NTFS volumes (image files or block\n"
    "devices) and copies them into a folder. Volumes are only ever read.\n"
    "\n"
    "commands:\n"
    "  volumes   list the volumes that can be scanned\n"
    "  scan      list the deleted files found on volumes\n"
    "  recover   scan volumes, then copy the chosen deleted files into a folder\n"
    "  help      print a command's options: dravelo-cli help COMMAND (or COMMAND --help)\n"
    "\n"
    "Volumes get drive letters from C: on, in the order given. Reading a block device needs root;\n"
    "an image file needs only the right to read it.\n"
    "\n"
    "A whole disk or disk image with a partition table (MBR or GPT) stands for each of its\n"
    "partitions that holds FAT, exFAT or NTFS, each with a letter of its own; name one partition\n"
    "by its number after '@', as volumes lists it: disk.img@2, /dev/sdb@5 (numbered as Linux\n"
    "numbers them: 1 to 4 primary, logical from 5; GPT by entry). A volume whose first boot\n"
    "sector is damaged is read through its backup (FAT32 sector 6, exFAT sector 12, NTFS the last\n"
    "sector); volumes says which.\n"
    "\n"
    "A failing device (read errors, very slow reads, a card that drops off) is best imaged first,\n"
    "with GNU ddrescue, and the image scanned instead: every further read wears the device, and\n"
    "the image can be read as often as needed. Give the image's map with --map, so that what\n"
    "ddrescue could not read is reported as unreadable instead of taken for zeros:\n"
    "  ddrescue /dev/sdb card.img card.map\n"
    "  dravelo-cli recover --map card.map --to ~/rescued --all card.img\n"
    "Sectors that cannot be read are tried once and reported; a region where every read is slow\n"
    "is skipped after a few slow reads and reported the same way (--slow-read); a device that\n"
    "stops answering ends the run with one message.\n"
    "\n"
    "examples:\n"
    "  dravelo-cli volumes\n"
    "  dravelo-cli scan /dev/sdb1\n"
    "  dravelo-cli recover --to ~/rescued --match '*.jpg' card.img\n"
    "\n";

const char kVolumesHelp[] =
    "usage: dravelo-cli volumes [--json] [--images-only] [--search] [IMAGE...]\n"
    "\n"
    "Lists the image files given (in order), then the block devices that hold a file system, one\n"
    "a line: drive letter, kind, file system (FAT12, FAT16, FAT32, exFAT or NTFS; both names where\n"
    "what was found on the volume is not what the scan takes it for), size and path. The letters are the ones scan and recover give the same\n"
    "volumes. Each named image that cannot be used is reported on stderr with the reason.\n"
    "\n"
    "options:\n"
    "  --json          print a JSON array of objects (letter, kind, drive_type, fs, probed_fs,\n"
    "                  size_bytes, size_mib, free_bytes, cluster_size, path, name, offset,\n"
    "                  partition, lost, boot_backup_offset)\n"
    "  --images-only   leave the block devices out\n"
    "  --search        also search each named disk, sector by sector, for FAT, exFAT and NTFS\n"
    "                  volumes that no partition-table entry covers (a table wiped or written\n"
    "                  over) and list each as \"Lost volume at sector N\", named DISK@sN for scan\n"
    "                  and recover; reads the whole disk once (Ctrl+C stops it, keeping what\n"
    "                  was found)\n"
    "  -h, --help      print this help\n"
    "\n"
    "A disk with a partition table is listed as its partitions, named DISK@N.\n"
    "\n"
    "example:\n"
    "  dravelo-cli volumes --images-only card.img disk.img\n"
    "  dravelo-cli volumes --images-only --search disk.img\n"
    "\n"
    "exit status:\n"
    "  0  volumes were listed and every named image can be scanned\n"
    "  1  nothing to list (said on stderr), or some named image cannot be used\n"
    "  2  usage error\n";

const char kScanHelp[] =
    "usage: dravelo-cli scan [--json | --tsv | --dfxml] [--save FILE] [--deep] [--map MAPFILE]\n"
    "                        [--slow-read SECONDS] VOLUME...\n"
    "\n"
    "Scans each volume (an image file or a block device) for deleted files and prints one line\n"
    "per file: recoverability status (Very Good, Good, Middle, Bad, Overwritten, Compressed,\n"
    "Encrypted, Error), size in bytes, date modified, and original path with the name.\n"
    "Control characters in names are shown escaped (\\t, \\n, \\r, \\xHH, \\u0080 to \\u009f), in\n"
    "the text and the TSV output alike.\n"
    "\n"
    "options:\n"
    "  --json        print a JSON array of objects (drive, fs, inode, name, path, parent, size,\n"
    "                percent, status, created, modified, lcn, lcn_offset)\n"
    "  --tsv         print tab-separated columns under a header line (the same fields)\n"
    "                Dates are local time with their offset from UTC (2026-03-01T14:05:09+01:00).\n"
    "  --dfxml       print Digital Forensics XML: a fileobject per file (filename, filesize,\n"
    "                inode, mtime and crtime in UTC, byte_runs: where on the image its bytes lie)\n"
    "  --save FILE   also keep the results in FILE: the window's \"Open results\" and\n"
    "                recover --from read it later without scanning again\n"
    "  --map MAPFILE the GNU ddrescue map of the one image named: the stretches it does not mark\n"
    "                finished are taken as unreadable\n"
    "  --slow-read SECONDS\n"
    "                a read that takes longer is slow (default 5): after three slow reads in a\n"
    "                row the reading skips ahead through the slow region, probing, and takes\n"
    "                what it skips as unreadable\n"
    "  --deep        also search the free space for folders that no folder leads to any more\n"
    "                (FAT; on exFAT, entry sets, as a quick format leaves them), and for files\n"
    "                known by their content (listed under \"Found by content\"); reads most of\n"
    "                the volume, so it takes about as long as reading the whole device.\n"
    "                Without it the scan reads only the volume's metadata\n"
    "  -h, --help    print this help\n"
    "\n"
    "Sectors that cannot be read cost what they held, not the scan: how many were met is said on\n"
    "stderr, and the exit status is then 1.\n"
    "\n"
    "example:\n"
    "  dravelo-cli scan --tsv /dev/sdb1 backup.img > found.tsv\n"
    "\n";

const char kRecoverHelp[] =
    "usage: dravelo-cli recover --to DIR SELECTOR... [--keep-folders] [--alternate-streams]\n"
    "                           [--deep] [--no-content-check] [--map MAPFILE] [--slow-read SECONDS]\n"
    "                           VOLUME...\n"
    "       dravelo-cli recover --to DIR --from FILE [SELECTOR...] [--keep-folders]\n"
    "                           [--alternate-streams] [VOLUME... for a JSON list]\n"
    "\n"
    "Scans the volumes, then copies the chosen deleted files into DIR, printing one line per file\n"
    "and a closing line with the count. DIR is created when missing; it must not lie on a volume\n"
    "being read.\n"
    "\n"
    "selectors (at least one is needed):\n"
    "  --all               every deleted file found\n"
    "  --match GLOB        files whose name matches GLOB (*, ?, [...]), ignoring case as FAT,\n"
    "                      exFAT and NTFS do; may be given several times (any one matching is enough)\n"
    "  --match-path GLOB   files whose folder path matches GLOB; the path is written as scan shows\n"
    "                      it, without the closing backslash: C: for the root, C:\\Documents, ...\n"
    "                      ('/' in GLOB stands for '\\'); ignores case; may be given several times\n"
    "  --inode N           the file with inode N (the inode field of scan --json); may be given\n"
    "                      several times\n"
    "  --match and --match-path given together pick the files that pass both; --all and --inode\n"
    "  add their files to those.\n"
    "\n"
    "--from FILE recovers from results kept by scan --save (or the window's \"Save results\")\n"
    "without scanning again: each volume is read where it was scanned, and one that is not the\n"
    "same volume any more (another serial number, size or geometry) is refused with the reason.\n"
    "Without a selector it takes the files ticked in the saved results, or all of them when none\n"
    "is ticked. FILE may also be a list in the form of scan --json (an edited copy of it): then\n"
    "name the volumes as at the scan; they are scanned, and each row's file is taken when the\n"
    "scan finds it under the same letter, inode, path and name (and size); a row it does not\n"
    "find is said so and makes the exit status 1.\n"
    "\n"
    "options:\n"
    "  --to DIR              the folder to write into (required)\n"
    "  --keep-folders        recreate each file's original folder path below DIR\n"
    "  --alternate-streams   also recover the alternate data streams of NTFS files\n"
    "  --map MAPFILE         the GNU ddrescue map of the one image named (see scan --help)\n"
    "  --slow-read SECONDS   a read that takes longer is slow (default 5; see scan --help)\n"
    "  --deep                scan deep, as scan --deep does, and pick from what that finds\n"
    "  --no-content-check    do not check each written file of a known type against its format\n"
    "                        (by default a file that does not match, probably overwritten, gets\n"
    "                        a note and counts as probably not the original)\n"
    "  -h, --help            print this help\n"
    "\n"
    "A file with sectors that cannot be read is written with zeros in their place; its line says\n"
    "which of its bytes those are, and it counts as not recovered complete.\n"
    "\n"
    "examples:\n"
    "  dravelo-cli recover --to /mnt/usb/rescued --match '*.docx' --match '*.xlsx' /dev/sdb1\n"
    "  dravelo-cli recover --to rescued --keep-folders --match-path '*/Photos*' card.img\n"
    "\n";

}  // namespace

const char* command_help(const std::string& command) {
  if (command == "volumes") return kVolumesHelp;
  if (command == "scan") return kScanHelp;
  if (command == "recover") return kRecoverHelp;
  if (command.empty()) return kProgramHelp;
  return nullptr;
}

void print_help(const std::string& command, std::FILE* to) {
  const char* text = command_help(command);
  if (!text) return;
  std::fputs(text, to);
  if (command == "scan") std::fputs(kScanExitStatus, to);
  else if (command != "volumes") std::fputs(kExitStatus, to);
}

void usage_error(const std::string& command, const std::string& problem) {
  std::fprintf(stderr, "dravelo-cli%s%s: %s\n", command.empty() ? "" : " ", command.c_str(), problem.c_str());
  std::fprintf(stderr, "Try 'dravelo-cli %s--help' for more information.\n",
               command.empty() ? "" : (command + " ").c_str());
}

std::string version_text() { return std::string(kProductName) + " " + kVersionText; }

}  // namespace dravelo::cli

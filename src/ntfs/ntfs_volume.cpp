#include "ntfs/ntfs_volume.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

#include "catalogue/engine_host.h"
#include "ntfs/ntfs_stream.h"

namespace dravelo {
namespace {

bool finish_open(NtfsVolume& volume, const std::string* path, char letter) {
  if (!volume.reader || volume.reader->error != 0) {
    volume.reader.reset();
    return false;
  }
  read_exact(*volume.reader, 0, sizeof(volume.boot.bytes), volume.boot.bytes.data());
  volume.geometry_ok = DeriveNtfsGeometry(volume.boot, &volume.geometry);
  // One window must always hold a whole cluster.
  if (volume.geometry_ok && volume.reader->capacity() < volume.geometry.bytes_per_cluster) {
    const int sectors = static_cast<int>(volume.geometry.bytes_per_cluster / TBuffer::kSector);
    volume.reader = path ? std::make_unique<TBuffer>(*path, sectors, letter) : std::make_unique<TBuffer>(letter, sectors);
    if (volume.reader->error != 0) {
      volume.reader.reset();
      return false;
    }
  }
  return true;
}

void reset(NtfsVolume& volume) {
  volume.reader.reset();
  volume.geometry = NtfsGeometry{};
  volume.geometry_ok = false;
  std::vector<std::uint8_t>().swap(volume.MftRecord);
  volume.mft_loaded = false;
  volume.mft_runs.clear();
  volume.mft_data_size = 0;
  volume.MftRecordCount = 0;
}

// Reads size bytes at byte offset of the volume; false (and zeros) for what cannot be read.
// aside: straight into out, leaving the reader's window where it is.
bool read_bytes(NtfsVolume& volume, std::int64_t lcn, std::int64_t within, std::uint32_t size, std::uint8_t* out,
                bool aside = false) {
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  if (lcn <= 0 || lcn > (std::numeric_limits<std::int64_t>::max() - within) / bpc - 1) return false;
  return aside ? read_exact_direct(*volume.reader, lcn * bpc + within, size, out)
               : read_exact(*volume.reader, lcn * bpc + within, size, out);
}

// Keeps the $MFT's runs (sorted by VCN) only as far as they can hold records: the list ends
// at a sparse run, at a run that maps clusters an earlier run already mapped (damage: the same
// clusters would be read as more records) and at the end of the volume. Returns the clusters
// left mapped from VCN 0 on.
std::int64_t trim_mft_runs(std::vector<DataRun>& runs, std::int64_t volume_clusters) {
  std::map<std::int64_t, std::int64_t> taken;  // first cluster -> one past the last, of each run kept
  std::int64_t vcn = 0;
  std::size_t kept = 0;
  for (; kept < runs.size(); ++kept) {
    DataRun& run = runs[kept];
    if (run.vcn != vcn || run.sparse() || run.lcn >= volume_clusters) break;
    run.length = std::min(run.length, volume_clusters - run.lcn);
    const std::int64_t end = run.lcn + run.length;
    auto next = taken.lower_bound(run.lcn);
    if (next != taken.end() && next->first < end) break;
    if (next != taken.begin() && std::prev(next)->second > run.lcn) break;
    taken.emplace(run.lcn, end);
    vcn += run.length;
  }
  runs.resize(kept);
  return vcn;
}

bool read_file_record(NtfsVolume& volume, std::uint32_t number, std::span<std::uint8_t> record, std::int64_t* lcn,
                      std::int32_t* offset, bool aside, bool* sound);

}  // namespace

NtfsVolume::~NtfsVolume() = default;

bool OpenNtfsVolume(char drive_letter, NtfsVolume& volume) {
  reset(volume);
  volume.reader = std::make_unique<TBuffer>(drive_letter, BufferSectors);
  return finish_open(volume, nullptr, drive_letter);
}

bool OpenNtfsVolumeAt(const std::string& path, NtfsVolume& volume) {
  reset(volume);
  volume.reader = std::make_unique<TBuffer>(path, BufferSectors);
  return finish_open(volume, &path, 0);
}

void CloseNtfsVolume(NtfsVolume& volume) { reset(volume); }

bool LoadMft(NtfsVolume& volume) {
  volume.mft_loaded = false;
  if (!volume.reader || !volume.geometry_ok) return false;
  const NtfsGeometry& g = volume.geometry;
  // The $MFT's own record, whose $DATA maps the $MFT: read at the $MFT's start, or, where that
  // copy is unreadable, torn or holds no mapping, from $MFTMirr, which keeps the same record.
  std::optional<AttributeRef> data;
  auto load_record = [&](std::int64_t lcn) {
    volume.MftRecord.assign(static_cast<std::size_t>(g.FileRecordSize), 0);
    if (!read_bytes(volume, lcn, 0, static_cast<std::uint32_t>(g.FileRecordSize), volume.MftRecord.data()) ||
        !IsFileRecord(volume.MftRecord) || !ApplyUpdateSequence(volume.MftRecord))
      return false;
    std::int32_t offset = 0;
    data = LookupAttribute(volume.MftRecord, kAttrData, offset, 0);
    return data && data->non_resident;
  };
  volume.mft_from_mirror = false;
  if (!load_record(g.mft_start_lcn)) {
    const std::int64_t mirror = volume.boot.MftMirrStartLcn();
    if (mirror == g.mft_start_lcn || !load_record(mirror)) return false;
    volume.mft_from_mirror = true;
  }
  volume.mft_runs.clear();
  DecodeAttributeRuns(*data, volume.mft_runs);
  if (volume.mft_runs.empty()) return false;
  volume.mft_data_size = std::max<std::int64_t>(AttrDataSize(*data), 0);
  // The record count: the $MFT's DataSize in records, but never more records than its runs map
  // on the volume (a damaged DataSize or run list must not make a scan of phantom records).
  const auto count = [&volume, &g] {
    const std::int64_t clusters = trim_mft_runs(volume.mft_runs, VolumeClusters(volume));
    const std::int64_t mapped =
        static_cast<std::int64_t>(static_cast<__int128>(clusters) * g.bytes_per_cluster / g.FileRecordSize);
    return static_cast<std::uint32_t>(std::min({volume.mft_data_size / g.FileRecordSize, mapped,
                                                static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max())}));
  };
  volume.MftRecordCount = count();
  if (volume.mft_runs.empty()) return false;

  // A large or fragmented $MFT keeps the rest of its run list in extension records, named by its
  // $ATTRIBUTE_LIST. Those records lie in the part the first extent maps.
  std::int32_t list_offset = 0;
  if (LookupAttribute(volume.MftRecord, kAttrAttributeList, list_offset, 0)) {
    NtfsStream stream;
    if (ReadStream(volume, volume.MftRecord, 0, kAttrData, u"", stream) && !stream.resident &&
        stream.mapped_clusters() > volume.mft_runs.back().vcn + volume.mft_runs.back().length) {
      volume.mft_runs = std::move(stream.runs);
      volume.mft_data_size = std::max<std::int64_t>(stream.data_size, volume.mft_data_size);
      volume.MftRecordCount = count();
    }
  }
  volume.mft_loaded = true;
  return true;
}

bool ReadFileRecord(NtfsVolume& volume, std::uint32_t number, std::span<std::uint8_t> record, std::int64_t* lcn,
                    std::int32_t* offset, bool* sound) {
  return read_file_record(volume, number, record, lcn, offset, false, sound);
}

bool ReadFileRecordAside(NtfsVolume& volume, std::uint32_t number, std::span<std::uint8_t> record, std::int64_t* lcn,
                         std::int32_t* offset, bool* sound) {
  return read_file_record(volume, number, record, lcn, offset, true, sound);
}

namespace {

bool read_file_record(NtfsVolume& volume, std::uint32_t number, std::span<std::uint8_t> record, std::int64_t* lcn,
                      std::int32_t* offset, bool aside, bool* sound) {
  if (!volume.reader || !volume.geometry_ok || number >= volume.MftRecordCount) return false;
  const std::int64_t frs = volume.geometry.FileRecordSize;
  const std::int64_t bpc = volume.geometry.bytes_per_cluster;
  if (static_cast<std::int64_t>(record.size()) < frs) return false;
  const std::int64_t byte = static_cast<std::int64_t>(number) * frs;
  std::int64_t vcn = byte / bpc;
  std::int64_t within = byte % bpc;  // 0 when records are at least a cluster long
  if (offset) *offset = static_cast<std::int32_t>(within);
  std::int64_t done = 0;
  bool first = true;
  // A record spans at most FileRecordSize / bytes per cluster + 1 runs.
  while (done < frs) {
    std::int64_t run_lcn = 0;
    std::int64_t run = 0;
    // Cluster 0 is the boot sector's: no record lies there.
    if (!MapVcn(volume.mft_runs, vcn, run_lcn, run) || run_lcn <= 0) return false;
    if (first && lcn) *lcn = run_lcn;
    first = false;
    const std::int64_t available = run > (frs + bpc) / bpc ? frs + bpc : run * bpc;
    const std::int64_t take = std::min(frs - done, available - within);
    if (!read_bytes(volume, run_lcn, within, static_cast<std::uint32_t>(take), record.data() + done, aside)) return false;
    done += take;
    vcn += (within + take) / bpc;
    within = 0;
  }
  if (!IsFileRecord(record.first(static_cast<std::size_t>(frs)))) return false;
  const bool ok = ApplyUpdateSequence(record.first(static_cast<std::size_t>(frs)));
  if (sound) *sound = ok;
  return true;
}

}  // namespace

std::int64_t VolumeBytes(const NtfsVolume& volume) {
  if (!volume.geometry_ok) return 0;
  const std::int64_t bps = volume.geometry.bytes_per_sector;
  const std::int64_t sectors = volume.geometry.total_sectors;
  if (sectors <= 0) return 0;
  std::int64_t bytes = sectors >= std::numeric_limits<std::int64_t>::max() / bps - 1 ? std::numeric_limits<std::int64_t>::max()
                                                                                     : (sectors + 1) * bps;
  // A boot sector may claim more than the device or image holds.
  if (volume.reader) bytes = std::min(bytes, volume.reader->volume_sectors() * TBuffer::kSector + bps);
  return bytes;
}

std::int64_t VolumeClusters(const NtfsVolume& volume) {
  if (!volume.geometry_ok || volume.geometry.sectors_per_cluster == 0) return 0;
  std::int64_t clusters = std::max<std::int64_t>(volume.geometry.total_sectors, 0) / volume.geometry.sectors_per_cluster;
  if (volume.reader)
    clusters = std::min(clusters, volume.reader->volume_sectors() * TBuffer::kSector / volume.geometry.bytes_per_cluster);
  return clusters;
}

bool ReadSectors(NtfsVolume& volume, std::int64_t count, std::uint8_t* destination, std::int64_t sector) {
  if (!volume.reader || !volume.geometry_ok || count <= 0 || sector < 0) return false;
  const std::int64_t bps = volume.geometry.bytes_per_sector;
  if (sector > std::numeric_limits<std::int64_t>::max() / bps - count) return false;
  bool ok = true;
  for (std::int64_t done = 0; done < count * bps;) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::int64_t>(count * bps - done, 1 << 30));
    ok = read_exact(*volume.reader, sector * bps + done, piece, destination + done) && ok;
    done += piece;
  }
  return ok;
}

bool ReadClusters(NtfsVolume& volume, std::int64_t count, std::uint8_t* destination, std::int64_t lcn) {
  if (!volume.geometry_ok || lcn < 0) return false;
  const std::int64_t spc = volume.geometry.sectors_per_cluster;
  if (lcn > std::numeric_limits<std::int64_t>::max() / 4096 / spc) return false;
  return ReadSectors(volume, count * spc, destination, lcn * spc);
}

}  // namespace dravelo

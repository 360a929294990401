#include "fat/fat_claims.h"

#include <algorithm>
#include <map>
#include <set>

#include "fat/fat_dir_entry.h"

namespace dravelo {

std::uint64_t FatWrittenKey(const FatDirEntry& entry) {
  // Date and time words grow with time (year, month, day; hour, minute, two-second step); the
  // creation time's hundredths (0 to 199) add to its two-second step.
  const auto key = [](std::uint16_t date, std::uint16_t time, std::uint8_t hundredths) -> std::uint64_t {
    if (date == 0) return 0;
    return (static_cast<std::uint64_t>(date) << 32) | (static_cast<std::uint64_t>(time) << 8) |
           std::min<std::uint8_t>(hundredths, 199);
  };
  return std::max(key(entry.DIR_CrtDate(), entry.DIR_CrtTime(), entry.DIR_CrtTimeTenth()),
                  key(entry.DIR_WrtDate(), entry.DIR_WrtTime(), 0));
}

void TrimFatClaims(std::span<FatClaim> claims) {
  std::vector<ClusterNumber> firsts;
  firsts.reserve(claims.size());
  for (const FatClaim& c : claims) firsts.push_back(c.first);
  std::sort(firsts.begin(), firsts.end());
  for (FatClaim& c : claims) {
    if (!c.short_run) continue;
    const auto next = std::upper_bound(firsts.begin(), firsts.end(), c.first);
    if (next != firsts.end() && *next < c.end) c.end = *next;
  }
}

FatClaimCuts ResolveFatClaims(std::span<const FatClaim> claims) {
  FatClaimCuts out;
  out.cut.resize(claims.size());
  // Clusters where claims begin and end, in order; at each, the claims that end there leave the
  // set of active ones before those that begin there join it.
  std::vector<std::pair<ClusterNumber, std::uint32_t>> starts, ends;
  for (std::uint32_t k = 0; k < claims.size(); ++k) {
    out.cut[k] = claims[k].end;
    if (claims[k].first >= claims[k].end) continue;
    starts.emplace_back(claims[k].first, k);
    ends.emplace_back(claims[k].end, k);
  }
  std::sort(starts.begin(), starts.end());
  std::sort(ends.begin(), ends.end());
  std::multiset<std::uint64_t> active;
  // Active claims not cut yet, oldest first.
  std::set<std::pair<std::uint64_t, std::uint32_t>> uncut;
  std::size_t s = 0, e = 0;
  while (s < starts.size() || e < ends.size()) {
    const ClusterNumber at = s < starts.size() && (e >= ends.size() || starts[s].first < ends[e].first)
                                 ? starts[s].first
                                 : ends[e].first;
    for (; e < ends.size() && ends[e].first == at; ++e) {
      const FatClaim& c = claims[ends[e].second];
      active.erase(active.find(c.key));
      uncut.erase({c.key, ends[e].second});
    }
    for (; s < starts.size() && starts[s].first == at; ++s) {
      active.insert(claims[starts[s].second].key);
      uncut.emplace(claims[starts[s].second].key, starts[s].second);
    }
    const std::uint64_t newest = active.empty() ? 0 : *active.rbegin();
    if (out.newest.empty() || out.newest.back().second != newest) out.newest.emplace_back(at, newest);
    // Each claim is cut once and leaves the set then: the work stays O(n log n).
    while (!uncut.empty() && uncut.begin()->first < newest) {
      out.cut[uncut.begin()->second] = at;
      uncut.erase(uncut.begin());
    }
  }
  return out;
}

namespace fat_claim_record {
namespace {

struct Record {
  std::map<std::int32_t, std::vector<std::pair<ClusterNumber, std::uint64_t>>> newest;  // by drive
  std::vector<std::uint64_t> keys;                                                       // by inode
};

Record& record() {
  static Record r;
  return r;
}

}  // namespace

void clear() { record() = Record{}; }

void keep(std::int32_t drive, std::vector<std::pair<ClusterNumber, std::uint64_t>> newest) {
  record().newest[drive] = std::move(newest);
}

void set_key(std::int32_t inode, std::uint64_t key) {
  if (inode < 0) return;
  std::vector<std::uint64_t>& keys = record().keys;
  if (static_cast<std::size_t>(inode) >= keys.size()) keys.resize(static_cast<std::size_t>(inode) + 1, 0);
  keys[static_cast<std::size_t>(inode)] = key;
}

bool newer_claim(std::int32_t drive, std::int32_t inode, ClusterNumber c) {
  const Record& r = record();
  const auto it = r.newest.find(drive);
  if (it == r.newest.end() || inode < 0 || static_cast<std::size_t>(inode) >= r.keys.size()) return false;
  const std::uint64_t key = r.keys[static_cast<std::size_t>(inode)];
  if (key == 0) return false;
  const auto& stretches = it->second;
  auto at = std::upper_bound(stretches.begin(), stretches.end(), std::make_pair(c, UINT64_MAX));
  if (at == stretches.begin()) return false;
  return std::prev(at)->second > key;
}

const std::vector<std::pair<ClusterNumber, std::uint64_t>>* newest(std::int32_t drive) {
  const auto it = record().newest.find(drive);
  return it == record().newest.end() ? nullptr : &it->second;
}

std::uint64_t key(std::int32_t inode) {
  const std::vector<std::uint64_t>& keys = record().keys;
  return inode >= 0 && static_cast<std::size_t>(inode) < keys.size() ? keys[static_cast<std::size_t>(inode)] : 0;
}

}  // namespace fat_claim_record

}  // namespace dravelo

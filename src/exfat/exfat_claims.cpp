#include "exfat/exfat_claims.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace dravelo {
namespace {

using LostKey = std::tuple<std::string, std::int64_t, std::int32_t>;

std::map<LostKey, std::vector<ExfatRun>>& lost_table() {
  static std::map<LostKey, std::vector<ExfatRun>> table;
  return table;
}

}  // namespace

void ExfatClaims::add(std::uint32_t file, DateTime time, const ExfatLayout& layout) {
  if (times_.size() <= file) times_.resize(static_cast<std::size_t>(file) + 1, 0);
  times_[file] = time;
  for (const ExfatRun& r : layout.runs)
    if (r.count > 0) claims_.push_back({r.first, static_cast<std::uint32_t>(std::min<std::uint64_t>(r.count, UINT32_MAX)), file});
}

std::vector<ExfatClaims::Lost> ExfatClaims::resolve() const {
  // Pass over the claims' starts and ends in cluster order. Between two such points the claims
  // that cover the stretch are the same, and the stretch belongs to one file when that file is
  // the only claimant, or is newer than every other claimant and all their times are known.
  // Each file loses what it claims outside the stretches that belong to it. The pass costs a
  // logarithm per point, however many claims overlap.
  //
  // Most claims overlap no other (a file's clusters are its own): one pass in cluster order
  // finds those that do, and only they go through the rest.
  auto end_of = [&](std::uint32_t i) { return static_cast<std::uint64_t>(claims_[i].first) + claims_[i].count; };
  std::vector<std::uint32_t> order(claims_.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return claims_[a].first < claims_[b].first; });
  std::vector<bool> rival(claims_.size(), false);
  // The claim that reaches furthest of those before: a claim that starts before its end overlaps
  // it, and every claim that another overlaps is found so.
  std::uint64_t reach = 0;
  std::uint32_t reacher = 0;
  for (std::uint32_t i : order) {
    if (reach > claims_[i].first) rival[i] = rival[reacher] = true;
    if (end_of(i) > reach) {
      reach = end_of(i);
      reacher = i;
    }
  }

  struct Point {
    std::uint64_t at;
    std::uint32_t claim;
    bool start;
  };
  std::vector<Point> points;
  for (std::uint32_t i = 0; i < claims_.size(); ++i) {
    if (!rival[i]) continue;
    points.push_back({claims_[i].first, i, true});
    points.push_back({end_of(i), i, false});
  }
  std::sort(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.at < b.at; });

  struct Owned {
    std::uint32_t file;
    std::uint64_t first, end;
  };
  std::vector<Owned> owned;
  // The covering claims by time, then claim number; and how many of them have no time.
  std::set<std::pair<DateTime, std::uint32_t>> covering;
  std::size_t without_time = 0;
  for (std::size_t i = 0; i < points.size();) {
    const std::uint64_t at = points[i].at;
    for (; i < points.size() && points[i].at == at; ++i) {
      const Claim& c = claims_[points[i].claim];
      const DateTime t = times_[c.file];
      if (points[i].start) {
        covering.insert({t, points[i].claim});
        without_time += t > 0 ? 0 : 1;
      } else {
        covering.erase({t, points[i].claim});
        without_time -= t > 0 ? 0 : 1;
      }
    }
    if (covering.empty() || i == points.size()) continue;
    const auto newest = covering.rbegin();
    const std::uint32_t file = claims_[newest->second].file;
    bool belongs = covering.size() == 1;
    if (!belongs && without_time == 0) {
      // The runs of one damaged layout may overlap each other; they are no rival.
      const auto second = std::next(newest);
      belongs = second->first < newest->first || claims_[second->second].file == file;
    }
    if (belongs) {
      const std::uint64_t end = points[i].at;
      if (!owned.empty() && owned.back().file == file && owned.back().end == at) {
        owned.back().end = end;
      } else {
        owned.push_back({file, at, end});
      }
    }
  }

  auto by_file = [](const auto& a, const auto& b) { return a.file != b.file ? a.file < b.file : a.first < b.first; };
  std::sort(owned.begin(), owned.end(), by_file);
  std::vector<Claim> sorted;
  for (std::uint32_t i = 0; i < claims_.size(); ++i)
    if (rival[i]) sorted.push_back(claims_[i]);
  std::sort(sorted.begin(), sorted.end(), by_file);
  std::vector<Lost> lost;
  auto lose = [&](std::uint32_t file, std::uint64_t first, std::uint64_t end) {
    if (first >= end) return;
    if (!lost.empty() && lost.back().file == file && lost.back().run.first + lost.back().run.count >= first) {
      const std::uint64_t last = std::max<std::uint64_t>(lost.back().run.first + lost.back().run.count, end);
      lost.back().run.count = last - lost.back().run.first;
    } else {
      lost.push_back({file, {static_cast<ExfatCluster>(first), end - first}});
    }
  };
  // Each claim less the stretches that belong to its file, both in cluster order within a file.
  std::size_t o = 0;
  for (const Claim& c : sorted) {
    while (o < owned.size() && (owned[o].file < c.file || (owned[o].file == c.file && owned[o].end <= c.first))) ++o;
    std::uint64_t from = c.first;
    const std::uint64_t end = static_cast<std::uint64_t>(c.first) + c.count;
    for (std::size_t k = o; k < owned.size() && owned[k].file == c.file && owned[k].first < end; ++k) {
      lose(c.file, from, std::min(owned[k].first, end));
      from = std::max(from, owned[k].end);
    }
    lose(c.file, from, end);
  }
  return lost;
}

void ClearExfatLostClusters(const std::string& device_path) {
  auto& table = lost_table();
  for (auto it = table.begin(); it != table.end();)
    it = std::get<0>(it->first) == device_path ? table.erase(it) : std::next(it);
}

void SetExfatLostClusters(const std::string& device_path, std::int64_t lcn, std::int32_t lcn_offset,
                          std::vector<ExfatRun> runs) {
  lost_table()[{device_path, lcn, lcn_offset}] = std::move(runs);
}

const std::vector<ExfatRun>& ExfatLostClusters(const std::string& device_path, std::int64_t lcn, std::int32_t lcn_offset) {
  static const std::vector<ExfatRun> kNone;
  const auto& table = lost_table();
  const auto it = table.find({device_path, lcn, lcn_offset});
  return it == table.end() ? kNone : it->second;
}

}  // namespace dravelo

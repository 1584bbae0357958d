// The largest region file there can be (32,766 regions of 12 keys, about 5.6 MB): reading it
// into a document (and, for comparison, into plain vectors and maps), looking keys up, changing
// one key and committing, and the renumbering that deleting the first region causes. And files made
// to be slow: one section name 300,000 times, and names that an unseeded case-blind hash sends to
// one slot, each against a plain file of its size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/profile.h"
#include "settings/profile_names.h"

namespace quillmap {
namespace {

constexpr int kRegions = 32766;

std::string RegionFileBytes() {
  std::string bytes = "[ScanRegions]\r\nNumRegions=" + std::to_string(kRegions) + "\r\n\r\n";
  for (int m = 1; m <= kRegions; ++m) {
    const std::string n = std::to_string(m);
    const std::string slide = "CustomerSlide" + std::to_string(m - 1);
    bytes += "[Region" + n + "]\r\nType=" + slide + "\r\nName=Customer region " + n +
             "\r\nCustom=YES\r\nX=0\r\nY=0\r\nW=20000\r\nH=60000\r\n\r\n[" + slide +
             "]\r\nX=2000\r\nY=5000\r\nAFX=500\r\nAFY=5000\r\nPKG=5\r\n\r\n";
  }
  return bytes;
}

// The file in a folder of its own for the length of one benchmark.
class RegionFile {
 public:
  RegionFile() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quillmap-XXXXXX";
    folder_ = mkdtemp(pattern.data());
    path_ = folder_ + "/ChipRegions.ini";
    Restore();
  }
  void Restore() const { std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes_; }
  ~RegionFile() { std::filesystem::remove_all(folder_); }
  const std::string& path() const { return path_; }

 private:
  const std::string bytes_ = RegionFileBytes();
  std::string folder_;
  std::string path_;
};

void BM_ParseRegionFile(benchmark::State& state) {
  const std::string bytes = RegionFileBytes();
  for (auto _ : state) benchmark::DoNotOptimize(ProfileDocument::Parse(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ParseRegionFile)->Unit(benchmark::kMillisecond);

// The plain way, for comparison: every line of every section kept as a string in a vector,
// a map from upper-cased key name to value per section, and one from upper-cased section name
// to the first section of that name.
class PlainProfile {
 public:
  static PlainProfile Parse(std::string_view bytes) {
    PlainProfile doc;
    doc.sections_.emplace_back();  // the lines before the first section
    for (size_t pos = 0; pos < bytes.size();) {
      size_t end = bytes.find('\n', pos);
      if (end == std::string_view::npos) end = bytes.size();
      std::string_view line = bytes.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const std::string_view text = TrimProfileBlanks(line);
      if (text.size() >= 2 && text.front() == '[' && text.find(']') != std::string_view::npos) {
        const std::string name =
            UpperCp1252(TrimProfileBlanks(text.substr(1, text.rfind(']') - 1)));
        doc.by_name_.emplace(name, doc.sections_.size());
        doc.sections_.emplace_back();
      } else if (const size_t equals = text.find('=');
                 !text.empty() && text.front() != ';' && equals != std::string_view::npos) {
        doc.sections_.back().keys.emplace(UpperCp1252(TrimProfileBlanks(text.substr(0, equals))),
                                          std::string(TrimProfileBlanks(text.substr(equals + 1))));
      }
      doc.sections_.back().lines.emplace_back(line);
    }
    return doc;
  }

  std::optional<std::string> Find(std::string_view section, std::string_view key) const {
    const auto found = by_name_.find(UpperCp1252(TrimProfileBlanks(section)));
    if (found == by_name_.end()) return std::nullopt;
    const auto& keys = sections_[found->second].keys;
    const auto value = keys.find(UpperCp1252(TrimProfileBlanks(key)));
    if (value == keys.end()) return std::nullopt;
    return value->second;
  }

 private:
  struct Section {
    std::vector<std::string> lines;
    std::map<std::string, std::string> keys;
  };
  std::vector<Section> sections_;
  std::map<std::string, size_t> by_name_;
};

void BM_ParseRegionFilePlain(benchmark::State& state) {
  const std::string bytes = RegionFileBytes();
  for (auto _ : state) benchmark::DoNotOptimize(PlainProfile::Parse(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ParseRegionFilePlain)->Unit(benchmark::kMillisecond);

// Every region's name and its slide's PKG, as a list of the regions reads them.
template <typename Doc>
void LookUpEveryRegion(benchmark::State& state) {
  const Doc doc = Doc::Parse(RegionFileBytes());
  for (auto _ : state) {
    size_t found = 0;
    for (int m = 1; m <= kRegions; ++m) {
      const std::optional<std::string> type = doc.Find("Region" + std::to_string(m), "Type");
      found += type.has_value() + doc.Find("region" + std::to_string(m), "NAME").has_value();
      found += doc.Find(type.value_or(""), "PKG").has_value();
    }
    if (found != 3 * kRegions) state.SkipWithError("a key not found");
  }
}
BENCHMARK_TEMPLATE(LookUpEveryRegion, ProfileDocument)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(LookUpEveryRegion, PlainProfile)->Unit(benchmark::kMillisecond);

void BM_LoadRegionFile(benchmark::State& state) {
  const RegionFile file;
  for (auto _ : state) {
    ProfileDocument doc;
    FileSnapshot snapshot;
    if (!LoadProfile(file.path(), &doc, &snapshot)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(doc);
  }
}
BENCHMARK(BM_LoadRegionFile)->Unit(benchmark::kMillisecond);

// From the loaded document: one changed key, serialised, written, fsync'ed and renamed.
void BM_ChangeOneKeyAndCommit(benchmark::State& state) {
  const RegionFile file;
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ProfileDocument doc;
    FileSnapshot snapshot;
    LoadProfile(file.path(), &doc, &snapshot);
    state.ResumeTiming();
    doc.Write("Region16000", "Name", "Renamed " + std::to_string(++round));
    if (AtomicWriteFile(file.path(), doc.Serialize(), &snapshot) != WriteResult::kOk) {
      state.SkipWithError("commit failed");
    }
  }
}
BENCHMARK(BM_ChangeOneKeyAndCommit)->Unit(benchmark::kMillisecond);

// A whole command: read, change one key, commit.
void BM_LoadChangeCommit(benchmark::State& state) {
  const RegionFile file;
  int round = 0;
  for (auto _ : state) {
    ProfileDocument doc;
    FileSnapshot snapshot;
    LoadProfile(file.path(), &doc, &snapshot);
    doc.Write("Region16000", "Name", "Renamed " + std::to_string(++round));
    if (AtomicWriteFile(file.path(), doc.Serialize(), &snapshot) != WriteResult::kOk) {
      state.SkipWithError("commit failed");
    }
  }
}
BENCHMARK(BM_LoadChangeCommit)->Unit(benchmark::kMillisecond);

// What deleting Region1 asks of the document: every later region read, both its sections
// deleted and written again one place up, then one commit. `by_section` reads and writes each
// section in one call, as the region commands do; otherwise key by key.
void DeleteFirstRegionAndRenumber(benchmark::State& state, bool by_section) {
  static constexpr std::string_view kRegionKeys[] = {"Type", "Name", "Custom", "X", "Y", "W", "H"};
  static constexpr std::string_view kSlideKeys[] = {"X", "Y", "AFX", "AFY", "PKG"};
  const RegionFile file;
  for (auto _ : state) {
    state.PauseTiming();
    file.Restore();
    state.ResumeTiming();
    ProfileDocument doc;
    FileSnapshot snapshot;
    LoadProfile(file.path(), &doc, &snapshot);
    doc.DeleteSection(doc.Read("Region1", "Type", "*Unknown*"));
    doc.DeleteSection("Region1");
    doc.Write("ScanRegions", "NumRegions", std::to_string(kRegions - 1));
    for (int m = 2; m <= kRegions; ++m) {
      const std::string from = "Region" + std::to_string(m);
      std::array<std::string, 7> region;
      std::array<std::string, 5> slide;
      if (by_section) {
        const auto region_values = doc.FindKeys(from, kRegionKeys);
        for (size_t k = 0; k < region.size(); ++k) region[k] = region_values[k].value_or("0");
        const auto slide_values = doc.FindKeys(region[0], kSlideKeys);
        for (size_t k = 0; k < slide.size(); ++k) slide[k] = slide_values[k].value_or("0");
      } else {
        for (size_t k = 0; k < region.size(); ++k) region[k] = doc.Read(from, kRegionKeys[k], "0");
        for (size_t k = 0; k < slide.size(); ++k)
          slide[k] = doc.Read(region[0], kSlideKeys[k], "0");
      }
      doc.DeleteSection(from);
      doc.DeleteSection(region[0]);
      const std::string to = "Region" + std::to_string(m - 1);
      const std::string to_slide = "CustomerSlide" + std::to_string(m - 2);
      region[0] = to_slide;
      region[6] += "\r\n";
      slide[4] += "\r\n";
      if (by_section) {
        doc.WriteKeys(to, {{kRegionKeys[0], region[0]},
                           {kRegionKeys[1], region[1]},
                           {kRegionKeys[2], region[2]},
                           {kRegionKeys[3], region[3]},
                           {kRegionKeys[4], region[4]},
                           {kRegionKeys[5], region[5]},
                           {kRegionKeys[6], region[6]}});
        doc.WriteKeys(to_slide, {{kSlideKeys[0], slide[0]},
                                 {kSlideKeys[1], slide[1]},
                                 {kSlideKeys[2], slide[2]},
                                 {kSlideKeys[3], slide[3]},
                                 {kSlideKeys[4], slide[4]}});
      } else {
        for (size_t k = 0; k < region.size(); ++k) doc.Write(to, kRegionKeys[k], region[k]);
        for (size_t k = 0; k < slide.size(); ++k) doc.Write(to_slide, kSlideKeys[k], slide[k]);
      }
    }
    if (AtomicWriteFile(file.path(), doc.Serialize(), &snapshot) != WriteResult::kOk) {
      state.SkipWithError("commit failed");
    }
  }
}
BENCHMARK_CAPTURE(DeleteFirstRegionAndRenumber, BySection, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DeleteFirstRegionAndRenumber, KeyByKey, false)->Unit(benchmark::kMillisecond);

// 300,000 sections of 24 bytes, names of 15 bytes: all different, all the same, or 30,000
// names that differ only in bits a case-blind hash could be tempted to drop (each byte one of
// six bytes 0x81 + 0x10 k, none a letter), followed by plain ones.
enum class Names { kDistinct, kDuplicate, kColliding };

std::string HostileFileBytes(Names names) {
  constexpr int kSections = 300000;
  constexpr int kColliding = 30000;
  std::string bytes;
  bytes.reserve(kSections * 24);
  for (int i = 0; i < kSections; ++i) {
    std::string name = std::to_string(i);
    name = "R" + std::string(14 - name.size(), '0') + name;
    if (names == Names::kDuplicate) name = "RegionDuplicate";
    if (names == Names::kColliding && i < kColliding) {
      for (int j = 0, rest = i; j < 15; ++j, rest /= 6)
        name[j] = static_cast<char>(0x81 + 0x10 * (rest % 6));
    }
    bytes += "[" + name + "]\r\nX=1\r\n";
  }
  return bytes;
}

void BM_ParseHostileFile(benchmark::State& state, Names names) {
  const std::string bytes = HostileFileBytes(names);
  for (auto _ : state) benchmark::DoNotOptimize(ProfileDocument::Parse(bytes));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK_CAPTURE(BM_ParseHostileFile, Distinct, Names::kDistinct)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseHostileFile, Duplicate, Names::kDuplicate)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseHostileFile, Colliding, Names::kColliding)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmap

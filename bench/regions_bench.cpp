// The region commands on files of N regions, done with one read and one write per command, and
// the same commands done key by key (one file read per value read, one file rewrite per value
// written), to show how each grows with N; and the write commands on the largest file without
// fsync, to show what the waits for the disk take of them.
//
// Files go to $QUILLMAP_BENCH_DIR, else the system's temporary folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "regions/region_commands.h"
#include "regions/region_file.h"
#include "regions/save_region.h"
#include "settings/file_system.h"
#include "settings/number_text.h"
#include "settings/profile.h"

namespace quillmap {
namespace {

constexpr ModelLimits kLimits{0, 0, 25, 75, 25, 75, 1, 1};

// A region file in the scanner software's style: five supplied regions, then customer regions.
std::string MakeRegionFile(int n) {
  auto line = [](const std::string& key, long long value) {
    return key + "=" + std::to_string(value) + "\r\n";
  };
  std::string text = "[ScanRegions]\r\n" + line("NumRegions", n) +
                     "\r\n[VelmoraDefault]\r\nRegion=Region1\r\n\r\n";
  for (int i = 1; i <= n; ++i) {
    const bool supplied = i <= 5;
    const std::string slide =
        supplied ? "Array" + std::to_string(i) : "CustomerSlide" + std::to_string(i - 1);
    const int x = 1000 + (i % 20) * 500;
    const int y = 1000 + (i % 50) * 500;
    text += "[Region" + std::to_string(i) + "]\r\nType=" + slide +
            "\r\nName=" + (supplied ? "Velmora array " : "Customer region ") + std::to_string(i) +
            "\r\nCustom=" + (supplied ? "NO" : "YES") + "\r\nX=0\r\nY=0\r\n" +
            line("W", 5000 + (i % 7) * 1000) + line("H", 10000 + (i % 9) * 1000) + "\r\n";
    text += "[" + slide + "]\r\n" + line("X", x) + line("Y", y) + line("AFX", x - 1500) +
            line("AFY", y) + "PKG=" + (supplied ? "1" : "5") + "\r\n\r\n";
  }
  return text;
}

// Made on first use and removed when the program ends.
class BenchFolder {
 public:
  static const std::string& Path() {
    static const BenchFolder folder;
    return folder.path_;
  }

 private:
  BenchFolder() {
    const char* chosen = getenv("QUILLMAP_BENCH_DIR");
    std::string pattern = (chosen != nullptr ? std::string(chosen)
                                             : std::filesystem::temp_directory_path().string()) +
                          "/quillmap_regions_bench_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no bench folder");
    path_ = pattern + "/";
  }
  ~BenchFolder() { std::filesystem::remove_all(path_); }

  std::string path_;
};

// Writes a fresh file of n regions and returns its path.
std::string FreshFile(int n) {
  static std::map<int, std::string> texts;
  auto [it, added] = texts.try_emplace(n);
  if (added) it->second = MakeRegionFile(n);
  const std::string path = BenchFolder::Path() + "ChipRegions" + std::to_string(n) + ".ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << it->second;
  return path;
}

Global MakeGlobal(int n) {
  Global global;
  global.RegionFilePath = FreshFile(n);
  global.Scanner.Limits = kLimits;
  return global;
}

// The same operations with one profile call per value.
namespace key_by_key {

// What the single-call profile functions do: the whole file read for every value, and read
// and written again for every change.
std::string Get(const std::string& path, const std::string& section, const char* key,
                const char* def) {
  ProfileDocument doc;
  if (!LoadProfile(path, &doc, nullptr)) return def;
  return doc.Read(section, key, def);
}

void Put(const std::string& path, const std::string& section, std::optional<std::string> key,
         std::optional<std::string> value) {
  ProfileDocument doc;
  FileSnapshot snapshot;
  if (!LoadProfile(path, &doc, &snapshot)) throw std::runtime_error("read failed");
  if (!key) {
    doc.DeleteSection(section);
  } else if (!value) {
    doc.DeleteKey(section, *key);
  } else {
    doc.Write(section, *key, *value);
  }
  if (AtomicWriteFile(path, doc.Serialize(), &snapshot) != WriteResult::kOk) {
    throw std::runtime_error("write failed");
  }
}

std::string FromFile(const std::string& text) {
  return IsNumber(text, '.') ? FormatValue(TextToDouble(text, '.') / 1000.0, '.') : text;
}

std::string ToFile(const std::string& text) {
  return DoubleToText(TextToDouble(text, '.') * 1000.0, '.');
}

ScanRegion ReadRegion(const std::string& path, const std::string& s) {
  ScanRegion r;
  r.SectionName = s;
  r.RegionType = Get(path, s, "Type", "*Unknown*");
  r.RegionName = Get(path, s, "Name", "*Unknown*");
  r.RegionCustom = Get(path, s, "Custom", "NO");
  r.RegionX = Get(path, s, "X", "0");
  r.RegionY = Get(path, s, "Y", "0");
  r.RegionWidth = FromFile(Get(path, s, "W", "0"));
  r.RegionHeight = FromFile(Get(path, s, "H", "0"));
  r.SlideX = FromFile(Get(path, r.RegionType, "X", "0"));
  r.SlideY = FromFile(Get(path, r.RegionType, "Y", "0"));
  r.SlideAFX = FromFile(Get(path, r.RegionType, "AFX", "0"));
  r.SlideAFY = FromFile(Get(path, r.RegionType, "AFY", "0"));
  r.SlidePKG = Get(path, r.RegionType, "PKG", "0");
  return r;
}

size_t LoadList(const std::string& path) {
  const int n = TextToInt16(Get(path, "ScanRegions", "NumRegions", "0"), '.');
  benchmark::DoNotOptimize(
      Get(path, Get(path, "VelmoraDefault", "Region", "*Unknown*"), "Name", "*Unknown*"));
  size_t rows = 0;
  for (int i = 1; i <= n; ++i) {
    benchmark::DoNotOptimize(ReadRegion(path, "Region" + std::to_string(i)));
    ++rows;
  }
  return rows;
}

void WriteRegion(const std::string& path, const ScanRegion& r) {
  const std::string& s = r.SectionName;
  const std::string& t = r.RegionType;
  Put(path, s, "Type", t);
  Put(path, s, "Name", r.RegionName);
  Put(path, s, "Custom", r.RegionCustom);
  Put(path, s, "X", r.RegionX);
  Put(path, s, "Y", r.RegionY);
  Put(path, s, "W", ToFile(r.RegionWidth));
  Put(path, s, "H", ToFile(r.RegionHeight) + "\r\n");
  Put(path, t, "X", ToFile(r.SlideX));
  Put(path, t, "Y", ToFile(r.SlideY));
  Put(path, t, "AFX", ToFile(r.SlideAFX));
  Put(path, t, "AFY", ToFile(r.SlideAFY));
  Put(path, t, "PKG", r.SlidePKG + "\r\n");
}

ScanRegion Filled(ScanRegion r) {
  r.RegionName = "Bench region";
  r.RegionCustom = "YES";
  r.RegionX = r.RegionY = "0";
  r.RegionWidth = "10.00";
  r.RegionHeight = "20.00";
  r.SlideX = "2.00";
  r.SlideY = "5.00";
  r.SlideAFX = "0.5";
  r.SlideAFY = "5.00";
  r.SlidePKG = "5";
  return r;
}

void Add(const std::string& path) {
  const int n = TextToInt16(Get(path, "ScanRegions", "NumRegions", "0"), '.');
  ScanRegion r;
  r.SectionName = "Region" + std::to_string(n + 1);
  r.RegionType = "CustomerSlide" + std::to_string(n);
  Put(path, "ScanRegions", "NumRegions", std::to_string(n + 1));
  WriteRegion(path, Filled(r));
}

void Modify(const std::string& path, const std::string& section) {
  WriteRegion(path, Filled(ReadRegion(path, section)));
}

void Delete(const std::string& path, int k) {
  const int n = TextToInt16(Get(path, "ScanRegions", "NumRegions", "0"), '.');
  const std::string type = Get(path, "Region" + std::to_string(k), "Type", "*Unknown*");
  Put(path, "Region" + std::to_string(k), std::nullopt, std::nullopt);
  Put(path, type, std::nullopt, std::nullopt);
  Put(path, "ScanRegions", "NumRegions", std::to_string(n - 1));
  for (int m = k + 1; m <= n; ++m) {
    ScanRegion r = ReadRegion(path, "Region" + std::to_string(m));
    Put(path, r.SectionName, std::nullopt, std::nullopt);
    Put(path, r.RegionType, std::nullopt, std::nullopt);
    r.SectionName = "Region" + std::to_string(m - 1);
    r.RegionType = "CustomerSlide" + std::to_string(m - 2);
    WriteRegion(path, r);
  }
}

}  // namespace key_by_key

// The process's peak resident memory so far, an upper bound for the benchmark just run: the
// sizes run from small to large.
void ReportPeakMemory(benchmark::State& state) {
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) == 0) {
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  }
}

void BM_LoadRegionList(benchmark::State& state) {
  const std::string path = FreshFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    RegionList list = LoadRegionList(path, false, kLimits, '.');
    if (list.error || list.rows.size() != static_cast<size_t>(state.range(0))) {
      state.SkipWithError("wrong list");
    }
    benchmark::DoNotOptimize(list);
  }
  ReportPeakMemory(state);
}

void BM_LoadKeyByKey(benchmark::State& state) {
  const std::string path = FreshFile(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(key_by_key::LoadList(path));
}

// A write command's benchmark: a fresh file before each timed command.
template <typename Command>
void RunOnFreshFiles(benchmark::State& state, Command command) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Global global = MakeGlobal(n);
    state.ResumeTiming();
    command(global, n);
  }
  ReportPeakMemory(state);
}

// Any message is a failed command.
class SilentUi : public UserInterface {
 public:
  explicit SilentUi(benchmark::State& state) : state_(state) {}
  MessageAnswer ShowMessage(const std::string& text, MessageButtons, MessageIcon) override {
    state_.SkipWithError(text.c_str());
    return MessageAnswer::kOk;
  }
  void SetBusy(bool) override {}
  void ShowHelp() override {}

 private:
  benchmark::State& state_;
};

// The real file system, except that fsync returns at once: what a command costs without the
// waits for the disk.
class NoSyncFileSystem : public FileSystem {
 public:
  int Open(const std::string& path, int flags, mode_t mode) override {
    return real_.Open(path, flags, mode);
  }
  ssize_t Read(int fd, void* buffer, size_t size) override { return real_.Read(fd, buffer, size); }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return real_.Write(fd, buffer, size);
  }
  int Fsync(int) override { return 0; }
  int Ftruncate(int fd, off_t length) override { return real_.Ftruncate(fd, length); }
  int Fchmod(int fd, mode_t mode) override { return real_.Fchmod(fd, mode); }
  int Close(int fd) override { return real_.Close(fd); }
  int Stat(const std::string& path, struct stat* out) override { return real_.Stat(path, out); }
  int Lstat(const std::string& path, struct stat* out) override { return real_.Lstat(path, out); }
  ssize_t Readlink(const std::string& path, char* buffer, size_t size) override {
    return real_.Readlink(path, buffer, size);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return real_.Rename(from, to);
  }
  int Unlink(const std::string& path) override { return real_.Unlink(path); }

 private:
  FileSystem& real_ = RealFileSystem();
};

// The edit dialog's Save, as the window and quillmap-cli run it. Another file system than the
// real one goes into a session opened here.
void Save(benchmark::State& state, Global& g, bool is_new, FileSystem& fs) {
  SilentUi ui(state);
  const RegionTexts boxes{"Bench region", "2.00", "5.00", "10.00", "20.00"};
  const SaveRequest request{is_new, boxes,
                            InitialRangeCaptions(kLimits, "2.00", "5.00", '.').captions};
  std::optional<RegionFileSession> session;
  if (&fs != &RealFileSystem()) session.emplace(RegionFileSession::Open(g.RegionFilePath, fs));
  if (SaveRegion(g, ui, request, session ? &*session : nullptr).outcome != SaveOutcome::kSaved) {
    state.SkipWithError("not saved");
  }
}

void AddRegion(benchmark::State& state, FileSystem& fs) {
  RunOnFreshFiles(state, [&](Global& g, int) { Save(state, g, true, fs); });
}

void ModifyRegion(benchmark::State& state, FileSystem& fs) {
  RunOnFreshFiles(state, [&](Global& g, int n) {
    ReadRegion(g, "Region" + std::to_string(n / 2));
    Save(state, g, false, fs);
  });
}

void DeleteRegion1(benchmark::State& state, FileSystem& fs) {
  RunOnFreshFiles(state, [&](Global& g, int) {
    ReadRegion(g, "Region1");
    RegionFileSession session = RegionFileSession::Open(g.RegionFilePath, fs);
    const ScanRegion& r = g.CurrentRegion;
    DeleteRegions(session, {{"YES", r.RegionName, r.SectionName}}, "", "", '.');
  });
}

FileSystem& NoSync() {
  static NoSyncFileSystem fs;
  return fs;
}
void BM_AddRegion(benchmark::State& state) { AddRegion(state, RealFileSystem()); }
void BM_ModifyRegion(benchmark::State& state) { ModifyRegion(state, RealFileSystem()); }
void BM_DeleteRegion1(benchmark::State& state) { DeleteRegion1(state, RealFileSystem()); }
void BM_AddRegionWithoutFsync(benchmark::State& state) { AddRegion(state, NoSync()); }
void BM_ModifyRegionWithoutFsync(benchmark::State& state) { ModifyRegion(state, NoSync()); }
void BM_DeleteRegion1WithoutFsync(benchmark::State& state) { DeleteRegion1(state, NoSync()); }

void BM_AddKeyByKey(benchmark::State& state) {
  RunOnFreshFiles(state, [](Global& g, int) { key_by_key::Add(g.RegionFilePath); });
}

void BM_ModifyKeyByKey(benchmark::State& state) {
  RunOnFreshFiles(state, [](Global& g, int n) {
    key_by_key::Modify(g.RegionFilePath, "Region" + std::to_string(n / 2));
  });
}

void BM_DeleteRegion1KeyByKey(benchmark::State& state) {
  RunOnFreshFiles(state, [](Global& g, int) { key_by_key::Delete(g.RegionFilePath, 1); });
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(200)->Arg(1000)->Arg(5000)->Arg(32766)->Unit(benchmark::kMillisecond);
}
// A file of 32766 regions takes no more: one more would leave it unlistable.
void AddSizes(benchmark::internal::Benchmark* b) {
  b->Arg(200)->Arg(1000)->Arg(5000)->Arg(32765)->Unit(benchmark::kMillisecond);
}
// Key by key, a load or a deletion costs a file read (and a rewrite) per value: minutes at 5,000
// regions, so it runs once.
void KeyByKeySizes(benchmark::internal::Benchmark* b) {
  b->Arg(200)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
}
void SlowKeyByKeySizes(benchmark::internal::Benchmark* b) {
  KeyByKeySizes(b);
  b->Iterations(1);
}

BENCHMARK(BM_LoadRegionList)->Apply(Sizes);
BENCHMARK(BM_AddRegion)->Apply(AddSizes);
BENCHMARK(BM_ModifyRegion)->Apply(Sizes);
BENCHMARK(BM_DeleteRegion1)->Apply(Sizes);
BENCHMARK(BM_AddRegionWithoutFsync)->Arg(32765)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModifyRegionWithoutFsync)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteRegion1WithoutFsync)->Arg(32766)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadKeyByKey)->Apply(SlowKeyByKeySizes);
BENCHMARK(BM_AddKeyByKey)->Apply(KeyByKeySizes);
BENCHMARK(BM_ModifyKeyByKey)->Apply(KeyByKeySizes);
BENCHMARK(BM_DeleteRegion1KeyByKey)->Apply(SlowKeyByKeySizes);

}  // namespace
}  // namespace quillmap

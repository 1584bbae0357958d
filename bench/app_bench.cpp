// The main window with the largest region file: the whole start-up up to the window shown,
// and the list's fill alone (file read, checks and grid), on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "app/region_window.h"
#include "regions/region_file.h"
#include "regions/startup.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {
namespace {

constexpr int kMostRegions = 32766;

// Answers every message at once; the start-up shows the invalid-regions warning.
class SilentUi : public UserInterface {
 public:
  MessageAnswer ShowMessage(const std::string&, MessageButtons, MessageIcon) override {
    return MessageAnswer::kOk;
  }
  void SetBusy(bool) override {}
  void ShowHelp() override {}
};

void WriteFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// A data folder and registry with kMostRegions regions, every tenth one too wide.
class LargeDataFolder {
 public:
  LargeDataFolder() {
    QDir(root_.path()).mkpath("data");
    QDir(root_.path()).mkpath("registry");
    std::string ini = "[ScanRegions]\r\nNumRegions=" + std::to_string(kMostRegions) +
                      "\r\n\r\n[VelmoraDefault]\r\nRegion=Region1\r\n\r\n";
    for (int i = 1; i <= kMostRegions; ++i) {
      const std::string slide = "CustomerSlide" + std::to_string(i - 1);
      ini += "[Region" + std::to_string(i) + "]\r\nType=" + slide + "\r\nName=Region number " +
             std::to_string(i) +
             "\r\nCustom=YES\r\nX=0\r\nY=0\r\nW=" + (i % 10 == 0 ? "70000" : "20000") +
             "\r\nH=10000\r\n\r\n[" + slide +
             "]\r\nX=5000\r\nY=2000\r\nAFX=3500\r\nAFY=2000\r\nPKG=5\r\n\r\n";
    }
    WriteFile(Data() + kRegionFileName, ini);
    WriteFile(Data() + kSystemFileName,
              BuildSystemFile(ParseModelDescriptions("VX4400 3 1 63 24 60 23 1 1\n"),
                              SystemFileLayout::kModelTable));
    WriteFile(root_.path() + "/registry/HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Microarray]\r\n\"Path\"=\"" +
                  Data().toStdString() + "\"\r\n");
  }

  QString Data() const { return root_.path() + "/data/"; }
  StartupInputs Inputs() const {
    return StartupInputs{RegistryStore((root_.path() + "/registry").toStdString()), "VX4400",
                         root_.path().toStdString()};
  }

 private:
  QTemporaryDir root_;
};

LargeDataFolder& Folder() {
  static LargeDataFolder folder;
  return folder;
}

void BM_StartupToWindowShown(benchmark::State& state) {
  SilentUi ui;
  for (auto _ : state) {
    Global global;
    RegionWindow window(global, ui);
    if (RunStartup(Folder().Inputs(), global, window, ui) != StartupOutcome::kRunning) {
      state.SkipWithError("start-up failed");
      break;
    }
    // Until the shown window has been laid out and painted once.
    QApplication::processEvents();
    benchmark::DoNotOptimize(window.DataRowCount());
  }
}
BENCHMARK(BM_StartupToWindowShown)->Unit(benchmark::kMillisecond);

void BM_FillList(benchmark::State& state) {
  SilentUi ui;
  Global global;
  RegionWindow window(global, ui);
  RunStartup(Folder().Inputs(), global, window, ui);
  for (auto _ : state) {
    window.LoadRegionList();
    window.SelectRows(1, 1);
    QApplication::processEvents();
  }
  state.counters["rows"] = window.DataRowCount();
}
BENCHMARK(BM_FillList)->Unit(benchmark::kMillisecond);

// The file read and bound checks alone, without the grid: the difference to BM_FillList is the
// grid's share.
void BM_LoadRegionListCoreOnly(benchmark::State& state) {
  const std::string path = (Folder().Data() + kRegionFileName).toStdString();
  const ModelLimits limits{3, 1, 63, 24, 60, 23, 1, 1};
  for (auto _ : state) {
    RegionList list = LoadRegionList(path, false, limits, '.');
    benchmark::DoNotOptimize(list.rows.data());
  }
}
BENCHMARK(BM_LoadRegionListCoreOnly)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmap

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

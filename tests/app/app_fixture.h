// A data folder, a registry store and a main window per test, with the message-box seam
// recording and answering.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/region_window.h"
#include "regions/region_commands.h"
#include "regions/startup.h"
#include "settings/temp_folder.h"
#include "support/fake_ui.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {

// Runs the event loop until `done` or `timeout_ms`; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int timeout_ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeout_ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

// Runs `action` on the next modal dialog once it is up (the caller waits inside it).
inline void OnModalDialog(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    }
  });
  timer->start();
}

inline std::string ReadFile(const QString& path) { return ReadBytes(path.toStdString()); }
inline void WriteFile(const QString& path, const std::string& bytes) {
  WriteBytes(path.toStdString(), bytes);
}

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    QDir(root_.path()).mkpath("data");
    QDir(root_.path()).mkpath("registry");
    WriteRegionFile(ReadFile(QUILLMAP_TEST_DATA "/app/regions.ini"));
    WriteSystemFile(SystemFileLayout::kModelTable);
    WriteRegistry(Data().toStdString(), "Array Area");
    window_ = std::make_unique<RegionWindow>(global_, ui_);
  }

  QString Data() const { return root_.path() + "/data/"; }
  QString Registry() const { return root_.path() + "/registry"; }

  void WriteRegionFile(const std::string& bytes) { WriteFile(Data() + kRegionFileName, bytes); }
  void WriteSystemFile(SystemFileLayout layout) {
    const std::string models = layout == SystemFileLayout::kSingleModel
                                   ? "ONE 3 1 63 24 60 23 1 1\n"
                                   : ReadFile(QUILLMAP_TEST_DATA "/app/models.txt");
    WriteFile(Data() + kSystemFileName, BuildSystemFile(ParseModelDescriptions(models), layout));
  }
  void WriteRegistry(const std::string& path, const std::string& region_name) {
    const RegistryStore registry(Registry().toStdString());
    WriteRegistryString(registry, RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue, path);
    WriteDefaultRegionName(registry, region_name);
  }

  StartupOutcome Start(const std::string& command_line) {
    const StartupInputs inputs{RegistryStore(Registry().toStdString()), command_line,
                               (root_.path() + "/program").toStdString()};
    return RunStartup(inputs, global_, *window_, ui_);
  }

  template <typename T>
  T* Find(const char* name) const {
    T* child = window_->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  std::pair<int, int> Selected() const {
    std::pair<int, int> rows{-1, -1};
    window_->GetSelectedRows(&rows.first, &rows.second);
    return rows;
  }

  QTemporaryDir root_;
  Global global_;
  testing::FakeUi ui_;
  std::unique_ptr<RegionWindow> window_;
};

}  // namespace quillmap

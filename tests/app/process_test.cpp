// The real quillmap as a process: --help and --version answer without a display, anything else
// starts the program, and one instance runs per user.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "app/single_instance.h"
#include "app_fixture.h"
#include "quillmap/version.h"

namespace quillmap {
namespace {

class ProcessTest : public AppTest {
 protected:
  // Starts quillmap with no display at all (what works here works over ssh too) in this test's
  // runtime folder.
  std::unique_ptr<QProcess> Launch(const QStringList& arguments, const QString& registry) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment.remove(name);
    }
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("QUILLMAP_REGISTRY", registry);
    process->setProcessEnvironment(environment);
    process->start(QUILLMAP_EXECUTABLE, arguments);
    EXPECT_TRUE(process->waitForStarted());
    return process;
  }

  QTemporaryDir runtime_;
};

TEST_F(ProcessTest, VersionAndHelpAnswerWithoutADisplayWhereverTheyStand) {
  const std::string version = std::string("quillmap ") + kVersionText + "\n";
  const std::string usage = "Usage: quillmap [Qt options] [MODEL]\n";
  const std::pair<QStringList, std::string> cases[] = {
      {{"--version"}, version},
      {{"-platform", "offscreen", "VX4400", "-v"}, version},
      {{"--help"}, usage},
      {{"-style", "fusion", "-?"}, usage},
  };
  for (const auto& [arguments, expected] : cases) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    auto process = Launch(arguments, Registry());
    EXPECT_TRUE(process->waitForFinished(20000) && process->exitCode() == 0);
    EXPECT_EQ(process->readAllStandardOutput().left(expected.size()).toStdString(), expected);
  }
}

// While the first starts, it shows the scanner selection (models in file order) and no window.
TEST_F(ProcessTest, ASecondStartBringsForwardTheScannerChoiceOrTheWindowAndEndsSilently) {
  SingleInstance first(runtime_.path());
  window_ = std::make_unique<RegionWindow>(global_, ui_, &first);
  auto minimize_and_start_again = [&](QWidget* shown) {
    shown->showMinimized();
    EXPECT_TRUE(WaitFor([&] { return shown->isMinimized(); }));
    // A registry folder that does not exist would stop the second with a message if it read it.
    auto second = Launch({"-platform", "offscreen"}, root_.path() + "/no-registry");
    EXPECT_TRUE(WaitFor([&] { return second->state() == QProcess::NotRunning; }, 20000));
    EXPECT_TRUE(second->exitStatus() == QProcess::NormalExit && second->exitCode() == 0);
    EXPECT_TRUE(WaitFor([&] { return !shown->isMinimized(); })) << "not brought forward";
  };
  QStringList listed;
  OnModalDialog([&](QWidget* dialog) {
    minimize_and_start_again(dialog);
    auto* combo = dialog->findChild<QComboBox*>("cboScanner");
    for (int i = 0; i < combo->count(); ++i) listed << combo->itemText(i);
    listed << combo->currentText();
    combo->setCurrentIndex(0);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  });
  ASSERT_EQ(Start(""), StartupOutcome::kRunning);
  EXPECT_EQ(listed.join(' ').toStdString() + " " + global_.Scanner.ScannerModel,
            "VX6600 VX4400 VX2200e VX2200e VX6600");
  minimize_and_start_again(window_.get());
  EXPECT_EQ(window_->size(), window_->FixedSize());
}

TEST_F(ProcessTest, ACrashedInstancesLockIsTakenOver) {
  // One model, no regions and a default region: a start without any message. Qt's option and
  // text that merely resembles an option (a model name, ignored here) still start the program.
  WriteSystemFile(SystemFileLayout::kSingleModel);
  WriteRegionFile("[ScanRegions]\r\nNumRegions=0\r\n");
  auto crashed = Launch({"-platform", "offscreen", "--versions"}, Registry());
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(runtime_.path() + "/quillmap.socket"); }, 20000));
  crashed->kill();
  ASSERT_TRUE(crashed->waitForFinished());

  SingleInstance next(runtime_.path());
  EXPECT_FALSE(next.EarlierInstanceRunning());
  SingleInstance third(runtime_.path());
  EXPECT_TRUE(third.EarlierInstanceRunning());
  int activations = 0;
  QObject::connect(&next, &SingleInstance::ActivationRequested, [&] { ++activations; });
  EXPECT_TRUE(third.ActivateEarlierInstance());
  EXPECT_TRUE(WaitFor([&] { return activations == 1; }));
}

}  // namespace
}  // namespace quillmap

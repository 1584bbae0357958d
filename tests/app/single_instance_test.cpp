// One Quillmap per user, with real processes: a second start brings the first to the front and
// ends silently; a crashed instance's lock does not block the next start.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "app_fixture.h"

namespace quillmap {
namespace {

class SingleInstanceTest : public AppTest {
 protected:
  SingleInstanceTest() { QDir(runtime_.path()).mkpath("."); }

  // Starts the real program on the fixture's data, sharing this test's runtime folder.
  std::unique_ptr<QProcess> Launch(const QString& registry) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_RUNTIME_DIR", runtime_.path());
    environment.insert("QUILLMAP_REGISTRY", registry);
    process->setProcessEnvironment(environment);
    process->start(QUILLMAP_EXECUTABLE, {});
    EXPECT_TRUE(process->waitForStarted());
    return process;
  }

  QString Socket() const { return runtime_.path() + "/quillmap.socket"; }

  QTemporaryDir runtime_;
};

TEST_F(SingleInstanceTest, ASecondStartRestoresTheFirstAndEndsSilently) {
  SingleInstance first(runtime_.path());
  RegionWindow window(global_, ui_, &first);
  ASSERT_FALSE(first.EarlierInstanceRunning());
  window.show();
  window.showMinimized();
  ASSERT_TRUE(WaitFor([&] { return window.isMinimized(); }));

  // The second reads nothing: a registry folder that does not exist would make it fail with a
  // message (which would block it) if it got that far.
  auto second = Launch(root_.path() + "/no-registry");
  ASSERT_TRUE(WaitFor([&] { return second->state() == QProcess::NotRunning; }, 20000));
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);

  EXPECT_TRUE(WaitFor([&] { return !window.isMinimized(); }));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.size(), window.FixedSize());
}

TEST_F(SingleInstanceTest, ACrashedInstancesLockIsTakenOver) {
  // A first Quillmap that starts without a message: one model, no regions, a default region.
  WriteSystemFile(SystemFileLayout::kSingleModel);
  WriteRegionFile("[ScanRegions]\r\nNumRegions=0\r\n");
  auto crashed = Launch(Registry());
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(Socket()); }, 20000));
  crashed->kill();
  ASSERT_TRUE(crashed->waitForFinished());

  SingleInstance next(runtime_.path());
  EXPECT_FALSE(next.EarlierInstanceRunning());
  // And it listens in place of the crashed one.
  SingleInstance third(runtime_.path());
  EXPECT_TRUE(third.EarlierInstanceRunning());
  int activations = 0;
  QObject::connect(&next, &SingleInstance::ActivationRequested, [&] { ++activations; });
  EXPECT_TRUE(third.ActivateEarlierInstance());
  EXPECT_TRUE(WaitFor([&] { return activations == 1; }));
}

}  // namespace
}  // namespace quillmap

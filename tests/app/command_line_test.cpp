// The real quillmap's command line: --help and --version answer without a display, wherever
// they stand, and anything else (Qt's options, a model name) still starts the program.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "app_fixture.h"
#include "quillmap/version.h"

namespace quillmap {
namespace {

class CommandLineTest : public AppTest {
 protected:
  // Starts quillmap with no display at all: what works here works over ssh too.
  std::unique_ptr<QProcess> Launch(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment.remove(name);
    }
    environment.insert("XDG_RUNTIME_DIR", runtime_->path());
    environment.insert("QUILLMAP_REGISTRY", Registry());
    process->setProcessEnvironment(environment);
    process->start(QUILLMAP_EXECUTABLE, arguments);
    EXPECT_TRUE(process->waitForStarted());
    return process;
  }

  // Runs quillmap to its end; returns what it printed, or "exit N: ..." when it failed.
  std::string Answer(const QStringList& arguments) {
    auto process = Launch(arguments);
    EXPECT_TRUE(process->waitForFinished(20000)) << arguments.join(' ').toStdString();
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
      return "exit " + std::to_string(process->exitCode()) + ": " +
             process->readAllStandardError().toStdString();
    }
    return process->readAllStandardOutput().toStdString();
  }

  // True when the start-up ran far enough to claim the single-instance socket.
  bool Starts(const QStringList& arguments) {
    // A killed instance leaves its socket behind, so every start gets a runtime folder of its own.
    runtime_ = std::make_unique<QTemporaryDir>();
    auto process = Launch(arguments);
    const QString socket = runtime_->path() + "/quillmap.socket";
    WaitFor([&] { return QFile::exists(socket) || process->state() == QProcess::NotRunning; },
            20000);
    const bool started = process->state() == QProcess::Running && QFile::exists(socket);
    EXPECT_TRUE(process->readAllStandardOutput().isEmpty()) << arguments.join(' ').toStdString();
    process->kill();
    process->waitForFinished();
    return started;
  }

  std::unique_ptr<QTemporaryDir> runtime_ = std::make_unique<QTemporaryDir>();
};

TEST_F(CommandLineTest, VersionAndHelpAnswerWithoutADisplay) {
  // Alone, after Qt's options, and after a model name.
  for (const QStringList& version :
       {QStringList{"--version"}, {"-platform", "offscreen", "--version"}, {"VX4400", "-v"}}) {
    EXPECT_EQ(Answer(version), std::string("quillmap ") + kVersionText + "\n");
  }
  for (const QStringList& help : {QStringList{"--help"}, {"-h"}, {"-style", "fusion", "-?"}}) {
    const std::string text = Answer(help);
    EXPECT_EQ(text.rfind("Usage: quillmap [Qt options] [MODEL]\n", 0), 0u) << text;
  }
}

TEST_F(CommandLineTest, AModelNameAndQtsOptionsStillStartTheProgram) {
  // Without a display only Qt's own -platform option lets the window come up at all.
  EXPECT_TRUE(Starts({"-platform", "offscreen", "vx4400"}));
  // Text that merely resembles an option is a model name, as it always was.
  EXPECT_TRUE(Starts({"-platform", "offscreen", "--versions"}));
  EXPECT_FALSE(Starts({"vx4400"}));
}

}  // namespace
}  // namespace quillmap

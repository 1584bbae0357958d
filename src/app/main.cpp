// quillmap: answers --help and --version before any window exists, so that they work without a
// display; every other command line goes to QApplication, which takes Qt's own options, and the
// rest to the start-up as it always did.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string_view>

#include "app/application.h"
#include "quillmap/version.h"

namespace {

// The desktop file's and the icon's name, so the desktop matches the window to both.
constexpr const char* kApplicationId = "io.velmora.Quillmap";

constexpr const char* kUsage =
    "Usage: quillmap [Qt options] [MODEL]\n"
    "\n"
    "Keeps the scan regions of a microarray slide scanner: lists the regions of ChipRegions.ini,\n"
    "marks the values that the scanner model cannot scan, and adds, changes and deletes customer\n"
    "regions within the model's limits from RegionDB.sys.\n"
    "\n"
    "  MODEL          the scanner model whose limits apply, taken in upper case; when\n"
    "                 RegionDB.sys holds several models and not this one, Quillmap asks\n"
    "  -h, --help     this help\n"
    "  -v, --version  the program's version\n"
    "\n"
    "Qt's standard options work too, among them -platform NAME, -style NAME, -reverse and\n"
    "-qwindowgeometry GEOMETRY.\n"
    "\n"
    "The data folder is the value Path of HKEY_LOCAL_MACHINE\\Software\\Velmora\\Microarray in\n"
    "/etc/velmora/HKEY_LOCAL_MACHINE.reg, else the program's own folder; the default scan region\n"
    "is in ~/.config/velmora/HKEY_CURRENT_USER.reg. QUILLMAP_REGISTRY names a folder holding both\n"
    "files instead. quillmap-cli does the same work from the command line.\n";

enum class Request { kRun, kHelp, kVersion };

// No scanner model is called like these, so they count wherever they stand. Any other argument,
// with a dash or without, stays in the command line as before: an unknown option is a model name
// that the system file does not hold.
Request RequestOf(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h" || argument == "-?") return Request::kHelp;
    if (argument == "--version" || argument == "-v") return Request::kVersion;
  }
  return Request::kRun;
}

}  // namespace

int main(int argc, char** argv) {
  switch (RequestOf(argc, argv)) {
    case Request::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case Request::kVersion:
      std::printf("quillmap %s\n", quillmap::kVersionText);
      return 0;
    case Request::kRun:
      break;
  }
  QGuiApplication::setDesktopFileName(kApplicationId);
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(quillmap::kVersionText);
  QApplication::setWindowIcon(QIcon::fromTheme(kApplicationId));
  return quillmap::RunQuillmap(app);
}

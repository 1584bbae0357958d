#include "app/application.h"

#include <QApplication>
#include <QLocale>

#include "app/region_window.h"
#include "app/single_instance.h"
#include "dialogs/qt_user_interface.h"
#include "regions/global.h"
#include "regions/startup.h"
#include "settings/registry.h"

namespace quillmap {

std::string CommandLineText(const QStringList& arguments) {
  return arguments.mid(1).join(' ').toStdString();
}

char DecimalSeparatorOf(const QString& decimal_point) {
  if (decimal_point.size() == 1 && decimal_point.at(0).unicode() < 0x80) {
    return decimal_point.at(0).toLatin1();
  }
  return '.';
}

int RunQuillmap(QApplication& app) {
  QApplication::setApplicationName("Quillmap");
  Global global;
  global.DecimalSeparator = DecimalSeparatorOf(QLocale::system().decimalPoint());
  QtUserInterface ui(global);
  SingleInstance single_instance;
  RegionWindow window(global, ui, &single_instance);
  ui.SetParent(&window);

  const StartupInputs inputs{RegistryStore::FromEnvironment(), CommandLineText(app.arguments()),
                             QCoreApplication::applicationDirPath().toStdString()};
  window.SetRegistry(inputs.registry);
  switch (RunStartup(inputs, global, window, ui)) {
    case StartupOutcome::kRunning:
      return app.exec();
    case StartupOutcome::kEarlierInstanceNotFound:
      window.show();
      return app.exec();
    case StartupOutcome::kHandedToEarlierInstance:
      return 0;
    case StartupOutcome::kFailed:
      break;
  }
  return 1;
}

}  // namespace quillmap

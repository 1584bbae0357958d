// The program's run: the shared state, the main window and its start-up, then the event loop.
#pragma once

#include <QStringList>
#include <string>

class QApplication;

namespace quillmap {

// The arguments after the program's name (Qt's own already taken out) joined with single
// blanks.
std::string CommandLineText(const QStringList& arguments);

// The user's decimal separator as one character; "." when the locale's is not one ASCII
// character.
char DecimalSeparatorOf(const QString& decimal_point);

// Runs Quillmap in `app`; returns the process's exit status: 0 after a normal end or after
// handing over to an earlier instance, 1 when the start-up failed.
int RunQuillmap(QApplication& app);

}  // namespace quillmap

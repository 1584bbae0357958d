// How the core's flows (start-up, commands, the edit dialog's save and exit) talk to the user.
// The Qt window implements it; tests use a fake that records and answers from a queue.
// All text is UTF-8.
#pragma once

#include <string>

#include "settings/error.h"

namespace quillmap {

enum class MessageButtons { kOk, kYesNo };
enum class MessageIcon { kNone, kInformation };
enum class MessageAnswer { kOk, kYes, kNo };

// Every message box carries the title "Quillmap".
inline constexpr const char* kMessageTitle = "Quillmap";

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual MessageAnswer ShowMessage(const std::string& text,
                                    MessageButtons buttons = MessageButtons::kOk,
                                    MessageIcon icon = MessageIcon::kNone) = 0;
  // A failure: the window shows its description; the command-line tool adds the file and the
  // key that a conversion error came from.
  virtual void ShowError(const Error& error) { ShowMessage(error.Description()); }
  // The program-wide busy (hourglass) pointer.
  virtual void SetBusy(bool busy) = 0;
  // Opens the help document (F1 in every window, the Help commands).
  virtual void ShowHelp() = 0;
};

// Shows the busy pointer for its lifetime, so every path out of a flow restores the pointer.
class BusyGuard {
 public:
  explicit BusyGuard(UserInterface& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~BusyGuard() { ui_.SetBusy(false); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  UserInterface& ui_;
};

}  // namespace quillmap

#include "regions/save_region.h"

#include <string>
#include <vector>

#include "regions/region_commands.h"

namespace quillmap {

namespace {

bool SameAsStored(const RegionTexts& boxes, const ScanRegion& stored) {
  return boxes.y_pos == stored.SlideY && boxes.x_pos == stored.SlideX &&
         boxes.height == stored.RegionHeight && boxes.width == stored.RegionWidth &&
         boxes.name == stored.RegionName;
}

}  // namespace

SaveResult SaveRegion(Global& global, UserInterface& ui, const SaveRequest& request,
                      RegionFileSession* session) {
  SaveResult result;
  result.write_pending = request.write_pending;
  // Messages wait until the session is released, so that no dialog holds the lock open.
  std::vector<Error> messages;  // kErrValidation: a plain message
  {
    std::optional<RegionFileSession> own;
    auto open = [&]() -> RegionFileSession& {
      if (session == nullptr) {
        session = &own.emplace(RegionFileSession::Open(global.RegionFilePath));
        // What the user should hear of an interrupted save met on the way in.
        if (!own->Notice().empty()) messages.push_back(Error(kErrValidation, own->Notice()));
      }
      return *session;
    };
    const char sep = global.DecimalSeparator;
    const std::string own_section = global.CurrentRegion.SectionName;
    const RegionCheck check = ValidateRegion(
        request.boxes, request.captions, global.Scanner.Limits, sep, [&](const std::string& name) {
          try {
            return RegionNameExists(open().Document(), own_section, name, sep);
          } catch (const Error& error) {
            // A file that cannot be read does not stop the check; the write reports it again.
            if (own) {
              own.reset();
              session = nullptr;
            }
            messages.push_back(error);
            return false;
          }
        });
    result.trimmed = check.trimmed;
    if (!check.Passed()) {
      result.outcome = SaveOutcome::kRefused;
      result.focus = check.focus;
      messages.push_back(Error(kErrValidation, check.message));
    } else if (!request.is_new && !request.write_pending &&
               SameAsStored(check.trimmed, global.CurrentRegion)) {
      result.outcome = SaveOutcome::kUnchanged;
    } else {
      BusyGuard busy(ui);
      try {
        RegionFileSession& file = open();
        const RegionTexts& t = check.trimmed;
        result.write_pending = true;
        try {
          FillCurrentRegion(file.Document(), request.is_new, t.name, t.x_pos, t.y_pos, t.width,
                            t.height, sep, global.CurrentRegion);
          WriteCurrentRegion(file.Document(), request.is_new, global.CurrentRegion, sep);
        } catch (const Error& refusal) {
          throw file.Explain(refusal);
        }
        file.Commit(FirstWriteMessage(request.is_new));
        result.write_pending = false;
        result.outcome = SaveOutcome::kSaved;
      } catch (const Error& error) {
        result.outcome = SaveOutcome::kFailed;
        messages.push_back(error);
      }
    }
  }
  for (const Error& message : messages) {
    if (message.Number() == kErrValidation) {
      ui.ShowMessage(message.Description());
    } else {
      ui.ShowError(message);
    }
  }
  return result;
}

std::optional<std::string> FollowRenamedDefault(const RegistryStore& registry,
                                                const std::string& default_name,
                                                const std::string& old_name,
                                                const std::string& new_name) {
  if (default_name != old_name || new_name == default_name) return std::nullopt;
  WriteDefaultRegionName(registry, new_name);
  return new_name;
}

}  // namespace quillmap

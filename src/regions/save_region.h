// The save of an edited region, as the edit dialog's Save and quillmap-cli's add and modify
// both run it: the fourteen rules, then one write of the region file, every refusal and failure
// shown through the user-interface seam.
#pragma once

#include <optional>

#include "regions/edit_rules.h"
#include "regions/global.h"
#include "regions/region_file.h"
#include "regions/user_interface.h"
#include "settings/registry.h"

namespace quillmap {

struct SaveRequest {
  bool is_new = true;
  RegionTexts boxes;       // as the boxes hold them when Save is pressed
  RangeCaptions captions;  // the range labels' captions then
  // An earlier save of the same edit failed after CurrentRegion took the box values: it must
  // write even when the boxes now equal CurrentRegion.
  bool write_pending = false;
};

enum class SaveOutcome {
  kSaved,      // the file holds the region, and global.CurrentRegion too
  kUnchanged,  // a modification that changes nothing: nothing written
  kRefused,    // a rule failed: `focus` names its box
  kFailed,     // the file could not be read or written
};

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kFailed;
  RegionTexts trimmed;  // what the boxes show afterwards
  RegionBox focus = RegionBox::kName;
  bool write_pending = false;
};

// Checks the boxes against global.Scanner.Limits and the file's other names, then writes the
// region: a new one, or global.CurrentRegion's section. Reads the file once: through `session`
// when the caller holds one, else in a session of its own, released before any message.
SaveResult SaveRegion(Global& global, UserInterface& ui, const SaveRequest& request,
                      RegionFileSession* session = nullptr);

// The scanner software's default region follows a region renamed from its name: RegionName is
// written, and the new name returned, when `old_name` was the default. Throws when the registry
// cannot be written.
std::optional<std::string> FollowRenamedDefault(const RegistryStore& registry,
                                                const std::string& default_name,
                                                const std::string& old_name,
                                                const std::string& new_name);

}  // namespace quillmap

// The commands that change the region file: add, modify and delete. Each works on one read of
// the file under its lock and writes it once, refusing a change made on disk meanwhile.
#include <algorithm>
#include <cctype>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "regions/edit_rules.h"
#include "regions/read_only.h"
#include "regions/region_commands.h"
#include "regions/region_file.h"
#include "regions/save_region.h"
#include "regions/startup.h"
#include "settings/error.h"
#include "sysfile/model_choice.h"

namespace quillmap::cli {
namespace {

constexpr char kSeparator = '.';

int Refuse(CommandContext& context, const std::string& message) {
  context.err << WithNewlines(message) << "\n";
  return kExitRefused;
}

// A number as its box holds it once typed or pasted: the decimals cut to two.
std::string TypedNumber(const std::string& text) {
  const std::optional<BoxText> cut = LimitDecimals(text, 0, kSeparator);
  return cut ? cut->text : text;
}

// The boxes as the edit dialog holds them when Save is pressed, after the user left each box
// that was given a value; the others show the stored values.
RegionTexts BoxesAfterLeaving(const RegionValues& given, const ScanRegion& stored) {
  auto position = [](const std::optional<std::string>& value, const std::string& kept) {
    if (!value) return kept;
    const std::string typed = TypedNumber(*value);
    return FormatPositionOnLeave(typed, kSeparator).value_or(typed);
  };
  auto size = [](const std::optional<std::string>& value, const std::string& kept) {
    return value ? FormatSizeOnLeave(TypedNumber(*value), kSeparator) : kept;
  };
  RegionTexts boxes;
  boxes.name = given.name.value_or(stored.RegionName);
  boxes.x_pos = position(given.x, stored.SlideX);
  boxes.y_pos = position(given.y, stored.SlideY);
  boxes.width = size(given.width, stored.RegionWidth);
  boxes.height = size(given.height, stored.RegionHeight);
  return boxes;
}

// The seam through which the core's flows talk to the user: messages go to stderr.
class CliUserInterface : public UserInterface {
 public:
  explicit CliUserInterface(CommandContext& context) : context_(context) {}
  MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons, MessageIcon) override {
    context_.err << WithNewlines(text) << "\n";
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
  }
  void ShowError(const Error& error) override {
    context_.err << WithNewlines(ErrorText(error, context_.global.RegionFilePath)) << "\n";
  }
  void SetBusy(bool) override {}
  void ShowHelp() override {}

 private:
  CommandContext& context_;
};

// The save as the edit dialog asks for it, with the range captions that follow from the X and
// Y boxes.
SaveRequest Request(const CommandContext& context, bool is_new, const ScanRegion& stored) {
  SaveRequest request;
  request.is_new = is_new;
  request.boxes = BoxesAfterLeaving(context.args.values, stored);
  request.captions = InitialRangeCaptions(context.global.Scanner.Limits, request.boxes.x_pos,
                                          request.boxes.y_pos, kSeparator)
                         .captions;
  return request;
}

// The file under the lock, and what the user should hear of an interrupted save met on the way.
RegionFileSession OpenSession(CommandContext& context) {
  IniFileReadOnly(context.global.RegionFilePath);
  RegionFileSession session = RegionFileSession::Open(context.global.RegionFilePath);
  if (!session.Notice().empty()) context.err << session.Notice() << "\n";
  return session;
}

RegionList LoadedList(const ProfileDocument& doc, const ModelLimits& limits) {
  RegionList list = LoadRegionList(doc, /*custom_only=*/false, limits, kSeparator);
  if (list.error) throw *list.error;
  return list;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The row of the region that `wanted` names: its section name (letter case ignored, as section
// names are) or its name (letter case ignored, as the edit dialog keeps names unique). Throws
// when no region or several regions answer to it.
size_t ResolveRegion(const RegionList& list, const std::string& wanted) {
  const std::string wanted_upper = UpperCaseText(wanted);
  std::vector<size_t> found;
  for (size_t i = 0; i < list.rows.size(); ++i) {
    const auto& cells = list.rows[i].cells;
    if (SameLetters(cells[kColumnSectionName], wanted) ||
        UpperCaseText(cells[kColumnName]) == wanted_upper) {
      found.push_back(i);
    }
  }
  if (found.empty()) throw Error(kErrFileAccess, "No region has the name or section " + wanted);
  if (found.size() > 1) {
    std::string sections;
    for (size_t i : found) {
      sections += (sections.empty() ? "" : ", ") + list.rows[i].cells[kColumnSectionName];
    }
    throw Error(kErrFileAccess, wanted + " names several regions: " + sections);
  }
  return found.front();
}

std::string DefaultRegionName(const RegistryStore& registry) {
  return TrimBlanks(ReadRegistryString(registry, RegistryRoot::kCurrentUser, kScanOptionsKey,
                                       kRegionNameValue, ""));
}

}  // namespace

int RunAdd(CommandContext& context) {
  Global& global = context.global;
  RegionFileSession session = OpenSession(context);
  global.CurrentRegion = ScanRegion();
  CliUserInterface ui(context);
  const SaveResult saved =
      SaveRegion(global, ui, Request(context, /*is_new=*/true, global.CurrentRegion), &session);
  if (saved.outcome != SaveOutcome::kSaved) return kExitRefused;
  const ScanRegion& current = global.CurrentRegion;
  context.out << "Added " << Printable(current.SectionName) << ": " << Printable(current.RegionName)
              << "\n";
  return kExitDone;
}

int RunModify(CommandContext& context) {
  Global& global = context.global;
  RegionFileSession session = OpenSession(context);
  ProfileDocument& doc = session.Document();
  const RegionList list = LoadedList(doc, global.Scanner.Limits);
  const RegionRow& row = list.rows[ResolveRegion(list, context.args.regions.front())];
  if (row.cells[kColumnCustom] == kSuppliedCustom) {
    return Refuse(context, kCannotModifySupplied + row.cells[kColumnName]);
  }
  global.CurrentRegion = ReadRegion(doc, row.cells[kColumnSectionName], kSeparator);
  const ScanRegion stored = global.CurrentRegion;
  CliUserInterface ui(context);
  const SaveResult saved =
      SaveRegion(global, ui, Request(context, /*is_new=*/false, stored), &session);
  if (saved.outcome == SaveOutcome::kUnchanged) {
    context.out << "Unchanged " << Printable(stored.SectionName) << ": "
                << Printable(stored.RegionName) << "\n";
    return kExitDone;
  }
  if (saved.outcome != SaveOutcome::kSaved) return kExitRefused;
  const ScanRegion& current = global.CurrentRegion;
  context.out << "Modified " << Printable(current.SectionName) << ": "
              << Printable(current.RegionName) << "\n";
  FollowRenamedDefault(context.registry, DefaultRegionName(context.registry), stored.RegionName,
                       current.RegionName);
  return kExitDone;
}

int RunDelete(CommandContext& context) {
  Global& global = context.global;
  RegionFileSession session = OpenSession(context);
  const RegionList list = LoadedList(session.Document(), global.Scanner.Limits);
  std::vector<size_t> rows;
  for (const std::string& wanted : context.args.regions)
    rows.push_back(ResolveRegion(list, wanted));
  // From the last region upwards: a deletion renumbers only the regions after it.
  std::sort(rows.rbegin(), rows.rend());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

  std::vector<RegionToDelete> regions;
  for (size_t index : rows) {
    const auto& cells = list.rows[index].cells;
    regions.push_back({cells[kColumnCustom], cells[kColumnName], cells[kColumnSectionName]});
  }
  // The regions deleted before a refusal stay deleted, as in the window.
  const DeleteOutcome outcome = DeleteRegions(session, regions, DefaultRegionName(context.registry),
                                              list.SuppliedDefaultName, kSeparator);
  for (size_t i = 0; i < outcome.deleted; ++i) {
    context.out << "Deleted " << Printable(regions[i].section_name) << ": "
                << Printable(regions[i].name) << "\n";
  }
  if (outcome.new_default_region_name) {
    WriteDefaultRegionName(context.registry, *outcome.new_default_region_name);
  }
  if (outcome.stopped_by) return Refuse(context, outcome.stopped_by->Description());
  return kExitDone;
}

}  // namespace quillmap::cli

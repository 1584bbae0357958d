// The commands that only read: models, list and check.
#include <array>

#include "cli/cli_commands.h"
#include "cli/cli_output.h"
#include "regions/region_file.h"
#include "regions/region_format.h"
#include "regions/startup.h"
#include "settings/atomic_file.h"
#include "settings/error.h"
#include "settings/number_text.h"
#include "sysfile/system_file.h"

namespace quillmap::cli {
namespace {

constexpr char kSeparator = '.';

// The four checked columns of a grid row and their names in the output.
constexpr std::array<std::pair<RegionColumn, const char*>, 4> kCheckedColumns = {{
    {kColumnX, "x"},
    {kColumnY, "y"},
    {kColumnWidth, "width"},
    {kColumnHeight, "height"},
}};

std::vector<std::string> InvalidColumns(const RegionRow& row) {
  std::vector<std::string> names;
  for (const auto& [column, name] : kCheckedColumns) {
    if (row.red[column]) names.push_back(name);
  }
  return names;
}

std::string JsonList(const std::vector<std::string>& items, bool as_strings) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ",";
    out += as_strings ? JsonString(items[i]) : items[i];
  }
  return out + "]";
}

// One JSON value a line between the brackets of a list.
std::string JsonLines(const std::vector<std::string>& values) {
  if (values.empty()) return "[]\n";
  std::string out = "[\n";
  for (size_t i = 0; i < values.size(); ++i) {
    out += "  " + values[i] + (i + 1 < values.size() ? ",\n" : "\n");
  }
  return out + "]\n";
}

std::string Join(const std::vector<std::string>& items, const char* between) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i > 0 ? between : "") + items[i];
  return out;
}

RegionList LoadedOrThrown(RegionList list) {
  if (list.error) throw *list.error;
  return list;
}

}  // namespace

std::vector<ModelRecord> ReadModelRecords(const std::string& path) {
  ScannerState state;
  if (GetSystemFileVersion(path) == kSingleModelVersion) {
    LoadSingleModel(path, state);
    return {{state.ScannerModel, state.Limits}};
  }
  const std::vector<ModelLimits> limits = LoadModelTable(path, state);
  std::vector<ModelRecord> records;
  records.reserve(limits.size());
  for (size_t i = 0; i < limits.size(); ++i) records.push_back({state.ModelList[i], limits[i]});
  return records;
}

int RunModels(CommandContext& context) {
  const std::vector<ModelRecord> records = ReadModelRecords(context.global.SystemFilePath);
  if (context.args.json) {
    std::vector<std::string> objects;
    for (const ModelRecord& r : records) {
      const ModelLimits& l = r.limits;
      auto number = [](double value) { return DoubleToText(value, kSeparator); };
      objects.push_back("{\"name\":" + JsonString(r.name) + ",\"min_x\":" + number(l.MinX) +
                        ",\"min_y\":" + number(l.MinY) + ",\"max_x\":" + number(l.MaxX) +
                        ",\"max_y\":" + number(l.MaxY) + ",\"max_width\":" + number(l.MaxWidth) +
                        ",\"max_height\":" + number(l.MaxHeight) + ",\"min_width\":" +
                        number(l.MinWidth) + ",\"min_height\":" + number(l.MinHeight) + "}");
    }
    context.out << JsonLines(objects);
    return kExitDone;
  }
  using A = Table::Align;
  Table table(
      {"Model", "MinX", "MinY", "MaxX", "MaxY", "MaxWidth", "MaxHeight", "MinWidth", "MinHeight"},
      {A::kLeft, A::kRight, A::kRight, A::kRight, A::kRight, A::kRight, A::kRight, A::kRight,
       A::kRight});
  for (const ModelRecord& r : records) {
    const ModelLimits& l = r.limits;
    table.AddRow({r.name, Micrometres(l.MinX), Micrometres(l.MinY), Micrometres(l.MaxX),
                  Micrometres(l.MaxY), Micrometres(l.MaxWidth), Micrometres(l.MaxHeight),
                  Micrometres(l.MinWidth), Micrometres(l.MinHeight)});
  }
  context.out << table.Render();
  return kExitDone;
}

int RunList(CommandContext& context) {
  const Global& global = context.global;
  RegionList loaded = LoadRegionList(global.RegionFilePath, context.args.custom_only,
                                     global.Scanner.Limits, kSeparator);
  if (!loaded.notice.empty()) context.err << loaded.notice << "\n";
  const RegionList list = LoadedOrThrown(std::move(loaded));
  if (context.args.json) {
    std::vector<std::string> objects;
    for (const RegionRow& row : list.rows) {
      const auto& c = row.cells;
      objects.push_back("{\"section\":" + JsonString(c[kColumnSectionName]) + ",\"custom\":" +
                        JsonString(c[kColumnCustom]) + ",\"name\":" + JsonString(c[kColumnName]) +
                        ",\"x\":" + JsonNumberOrString(c[kColumnX]) +
                        ",\"y\":" + JsonNumberOrString(c[kColumnY]) +
                        ",\"width\":" + JsonNumberOrString(c[kColumnWidth]) +
                        ",\"height\":" + JsonNumberOrString(c[kColumnHeight]) +
                        ",\"invalid\":" + JsonList(InvalidColumns(row), true) + "}");
    }
    context.out << JsonLines(objects);
    return kExitDone;
  }
  using A = Table::Align;
  // The grid's headings; a value outside the bounds carries a '*'.
  Table table(
      {"Section", "Custom", "Name", "X Pos (mm) ", "Y Pos (mm) ", "Width (mm) ", "Height (mm) "},
      {A::kLeft, A::kLeft, A::kLeft, A::kRight, A::kRight, A::kRight, A::kRight});
  bool marked = false;
  for (const RegionRow& row : list.rows) {
    const auto& c = row.cells;
    auto length = [&row, &marked](const std::string& text, RegionColumn column) {
      marked |= row.red[column];
      return text + (row.red[column] ? "*" : " ");
    };
    table.AddRow({c[kColumnSectionName], c[kColumnCustom], c[kColumnName],
                  length(c[kColumnX], kColumnX), length(c[kColumnY], kColumnY),
                  length(c[kColumnWidth], kColumnWidth), length(c[kColumnHeight], kColumnHeight)});
  }
  const std::string model = Printable(global.Scanner.ScannerModel);
  context.out << "Scanner " << model << "\n" << table.Render();
  if (marked) context.out << "* outside the bounds of scanner " << model << "\n";
  return kExitDone;
}

int RunCheck(CommandContext& context) {
  const Global& global = context.global;
  std::vector<ModelRecord> models;
  if (context.args.all_models) {
    models = ReadModelRecords(global.SystemFilePath);
  } else {
    models.push_back({global.Scanner.ScannerModel, global.Scanner.Limits});
  }
  // One read of the region file for every model.
  const ProfileDocument doc = region_format::LoadRegionDocument(global.RegionFilePath);

  bool any_invalid = false;
  std::vector<std::string> objects;
  std::string report;
  for (const ModelRecord& model : models) {
    const RegionList list =
        LoadedOrThrown(LoadRegionList(doc, /*custom_only=*/false, model.limits, kSeparator));
    std::vector<std::string> invalid_objects;
    Table table({"Section", "Name", "Invalid"},
                {Table::Align::kLeft, Table::Align::kLeft, Table::Align::kLeft});
    for (const RegionRow& row : list.rows) {
      const std::vector<std::string> columns = InvalidColumns(row);
      if (columns.empty()) continue;
      const std::string& section = row.cells[kColumnSectionName];
      const std::string& name = row.cells[kColumnName];
      invalid_objects.push_back("{\"section\":" + JsonString(section) + ",\"name\":" +
                                JsonString(name) + ",\"invalid\":" + JsonList(columns, true) + "}");
      table.AddRow({section, name, Join(columns, ", ")});
    }
    const bool valid = invalid_objects.empty();
    any_invalid |= !valid;
    objects.push_back("{\"model\":" + JsonString(model.name) +
                      ",\"valid\":" + (valid ? "true" : "false") +
                      ",\"invalid_regions\":" + JsonList(invalid_objects, false) + "}");
    const std::string scanner = "Scanner " + Printable(model.name);
    if (valid) {
      report += scanner + ": " + std::to_string(list.rows.size()) + " regions, all valid\n";
    } else {
      report += scanner + ": " + std::to_string(list.rows.size()) + " regions, " +
                std::to_string(invalid_objects.size()) + " invalid\n" +
                table.Render("  ", /*with_headings=*/false);
    }
  }
  context.out << (context.args.json ? JsonLines(objects) : report);
  if (!any_invalid) return kExitDone;
  context.err << WithNewlines(kInvalidRegionsMessage) << "\n";
  return kExitRefused;
}

}  // namespace quillmap::cli

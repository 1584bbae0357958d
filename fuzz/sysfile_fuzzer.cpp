// The readers of RegionDB.sys on any bytes. One control byte chooses the name that SelectModel
// looks for; the rest is the file. A reader either fails with the program's error or gives a
// result that agrees with the other readers; a failed selection changes nothing.
#include <cmath>
#include <string>

#include "fuzz_check.h"
#include "settings/cp1252.h"
#include "settings/error.h"
#include "sysfile/system_file.h"

namespace {

using quillmap::Error;
using quillmap::ScannerState;

const std::string kPath = "RegionDB.sys";

bool SameLimits(const quillmap::ModelLimits& a, const quillmap::ModelLimits& b) {
  return a.MinX == b.MinX && a.MinY == b.MinY && a.MaxX == b.MaxX && a.MaxY == b.MaxY &&
         a.MaxWidth == b.MaxWidth && a.MaxHeight == b.MaxHeight && a.MinWidth == b.MinWidth &&
         a.MinHeight == b.MinHeight;
}

bool AllFinite(const quillmap::ModelLimits& l) {
  for (double v :
       {l.MinX, l.MinY, l.MaxX, l.MaxY, l.MaxWidth, l.MaxHeight, l.MinWidth, l.MinHeight}) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// Names come out as UTF-8 that goes back to the same Windows-1252 bytes.
bool ValidName(const std::string& name) {
  std::string bytes;
  return quillmap::Utf8ToCp1252(name, &bytes) && quillmap::Cp1252ToUtf8(bytes) == name &&
         bytes.size() <= quillmap::kModelNameSize;
}

ScannerState Sentinel() {
  ScannerState state;
  state.ScannerModel = "before";
  state.Limits.MinX = 1.5;
  return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quillmap::fuzz::Controls controls(data, size, 1);
  const std::string_view bytes = controls.Rest();

  int32_t version = 0;
  try {
    version = quillmap::ParseSystemFileVersion(bytes, kPath);
  } catch (const Error& e) {
    FUZZ_CHECK(bytes.size() < quillmap::kSystemFileHeaderSize);
    return 0;
  }

  if (version == quillmap::kSingleModelVersion) {
    ScannerState state = Sentinel();
    try {
      quillmap::ParseSingleModel(bytes, kPath, state);
      FUZZ_CHECK(state.ScannerModel == quillmap::kSingleModelName && AllFinite(state.Limits));
    } catch (const Error& e) {
      FUZZ_CHECK(bytes.size() < quillmap::kSingleModelFileSize);
      FUZZ_CHECK(state.ScannerModel == "before");
    }
    return 0;
  }

  // Longer than any name, so it cannot be one.
  const std::string stale(40, 's');
  ScannerState list;
  list.ModelList = {stale};
  bool listed = true;
  try {
    quillmap::ParseModelList(bytes, kPath, list);
  } catch (const Error& e) {
    listed = false;
    FUZZ_CHECK(e.Number() == quillmap::kErrOverflow || e.Number() == quillmap::kErrFileRead);
  }
  for (const std::string& name : list.ModelList) FUZZ_CHECK(name != stale && ValidName(name));

  // A listed name selects the first record of that name, and every reader agrees on it.
  if (listed) {
    for (size_t i = 0; i < list.ModelList.size() && i < 64; ++i) {
      ScannerState state = Sentinel();
      quillmap::ParseSelectModel(bytes, kPath, list.ModelList[i], state);
      FUZZ_CHECK(state.ScannerModel == list.ModelList[i] && AllFinite(state.Limits));
      for (size_t j = 0; j < i; ++j) {
        if (list.ModelList[j] == list.ModelList[i]) {
          ScannerState earlier = Sentinel();
          quillmap::ParseSelectModel(bytes, kPath, list.ModelList[j], earlier);
          FUZZ_CHECK(SameLimits(earlier.Limits, state.Limits));
        }
      }
    }
  }

  // Any other name: found only when listed; otherwise nothing changes.
  const std::string names[] = {"", "R1", "VX4400", std::string(1, char(controls.Byte(0)))};
  ScannerState state = Sentinel();
  const std::string& wanted = names[controls.Byte(0) % 4];
  try {
    quillmap::ParseSelectModel(bytes, kPath, wanted, state);
    FUZZ_CHECK(state.ScannerModel == wanted);
    if (listed) {
      bool present = false;
      for (const std::string& name : list.ModelList) present |= name == wanted;
      FUZZ_CHECK(present);
    }
  } catch (const Error& e) {
    FUZZ_CHECK(state.ScannerModel == "before" && state.Limits.MinX == 1.5);
  }
  return 0;
}

#include "lessons/catalogue_rules.h"

#include "core/file_name.h"

namespace zorva {

namespace {

constexpr int kExtensionLength = 4;

}  // namespace

bool IsAdvertisementPage(const Text& pageName) { return pageName.Lower().Find("_ad") >= 0; }

std::optional<ProgramItemFiles> ProgramItemNames(const Text& fileName) {
  if (!IsPlainFileName(fileName.view())) return std::nullopt;
  const int length = fileName.GetLength();
  ProgramItemFiles files;
  files.program = fileName;
  files.baseName = length > kExtensionLength ? fileName.Left(length - kExtensionLength) : Text();
  files.versionFile = files.baseName + ".xml";
  files.jobFile = "download_" + files.baseName + ".xml";
  return files;
}

}  // namespace zorva

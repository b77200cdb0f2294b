// The transfer operations of CToolkit, which live here so that the core
// stays free of the network.
#include "core/toolkit.h"
#include "net/transfer.h"

namespace zorva {

Text CToolkit::FetchText(const Text& url) { return zorva::FetchText(url); }

int CToolkit::DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                           ProgressBar* progress, StatusWindow* status) {
  return zorva::DownloadFile(base, remotePath, localDir, progress, status);
}

void CToolkit::MakeDirectories(const Text& path, StatusWindow* status) {
  zorva::MakeDirectories(path, status);
}

}  // namespace zorva

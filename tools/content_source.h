#pragma once

#include <memory>
#include <string>

#include "core/text.h"

namespace zorva::tool {

// The answer to one request of the checker: the bytes, or why there are
// none ("missing (404)", "unreadable: Permission denied", ...).
struct Fetched {
  bool ok = false;
  std::string bytes;
  std::string failure;
};

// Where the checker reads the service's content from: a server, with the
// client's own requests, or a content folder laid out as zorva-server
// serves it. Names that come from the catalogue never lead outside the
// folder: a name that would is refused.
class ContentSource {
 public:
  virtual ~ContentSource() = default;

  virtual std::string Describe() const = 0;
  virtual Fetched Catalogue() = 0;
  // What line numbers of the catalogue count in, for messages.
  virtual std::string CatalogueFile() const = 0;

  // False when the page lists cannot be asked for (a server without a user
  // and password to ask with).
  virtual bool CanReadPageLists() const = 0;
  // The lesson's page list, as the lesson request answers it.
  virtual Fetched PageList(const Text& dir) = 0;
  virtual std::string PageListFile(const Text& dir) const = 0;
  // A page's movie, every byte as it arrives.
  virtual Fetched Movie(const Text& dir, const Text& page) = 0;

  // A program item's version file and updater job file, by their names.
  virtual Fetched ItemVersion(const Text& versionFile) = 0;
  virtual Fetched ItemJob(const Text& jobFile) = 0;
};

// base is a server base address ("http://host[:port][/prefix]"); user and
// password (plain, as typed) are needed for the lesson requests.
std::unique_ptr<ContentSource> MakeServerSource(const Text& base, const Text& user,
                                                const Text& password);
std::unique_ptr<ContentSource> MakeFolderSource(const std::string& folder);

}  // namespace zorva::tool

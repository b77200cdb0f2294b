#pragma once

#include "core/status_window.h"
#include "core/text.h"

namespace zorva {

// The stateless utility object of the client: create one, use it, drop it.
// It gathers the foundation operations under their familiar names; each
// forwards to the module that implements it. The transfer operations
// (FetchText, DownloadFile, MakeDirectories) live in the net library and are
// available to programs that link it.
class CToolkit {
 public:
  // Message handling (see core/pump.h).
  bool PumpMessages();
  void WaitPumping(double ms);

  // Conversions. TextToInt and TextToFloat work on the first 255 bytes.
  Text IntToText(int value);
  int TextToInt(const Text& text);
  float TextToFloat(const Text& text);

  // Text files and XML lookup (see core/xml.h).
  Text ReadTextFile(const Text& path, StatusWindow* status = nullptr);
  void SaveTextFile(const Text& path, const Text& content, StatusWindow* status = nullptr);
  Text GetXmlValue(const Text& document, const Text& tag, const Text& attribute,
                   const Text& value, const Text& resultAttribute);
  Text ReadXmlValue(const Text& path, const Text& tag, const Text& attribute, const Text& value,
                    const Text& resultAttribute);

  // Scrambled text codec (see core/codec.h).
  Text ScrambleText(const Text& text, const Text& mode);
  Text ScrambleChars(const Text& text, const Text& mode);

  // HTTP transfer (net library, see net/transfer.h).
  Text FetchText(const Text& url);
  int DownloadFile(const Text& base, const Text& remotePath, const Text& localDir,
                   ProgressBar* progress, StatusWindow* status);
  void MakeDirectories(const Text& path, StatusWindow* status);
};

// The conversions as plain functions, for code outside the client.
Text IntToText(int value);
int TextToInt(const Text& text);
float TextToFloat(const Text& text);

}  // namespace zorva

// The commands that work on local data: XML lookup, the codec and the
// saved-password files. Arguments and output are raw code page 936 bytes.
#include <cstdio>
#include <string>
#include <vector>

#include "core/codec.h"
#include "core/file_crypt.h"
#include "core/status_window.h"
#include "core/text.h"
#include "core/xml.h"
#include "tools/command.h"

namespace zorva::tool {

namespace {

// The fixed password of the client's saved-password files.
constexpr const char* kSavedPasswordKey = "qmvra.zk418";

void WriteOut(const Text& text) {
  std::fwrite(text.c_str(), 1, static_cast<size_t>(text.GetLength()), stdout);
  std::fflush(stdout);
}

// Shows each status text on its own line of stderr as it is set.
class StderrStatus : public StatusWindow {
 public:
  void SetText(const Text& text) override {
    std::string line = text.str();
    if (!line.empty() && line.back() == '\n') line.pop_back();
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
};

// Remembers whether a read failed; the text itself is the tool's to word.
class FailureStatus : public StatusWindow {
 public:
  void SetText(const Text&) override { failed = true; }
  bool failed = false;
};

int XmlValue(const std::vector<std::string>& args) {
  if (args.size() != 2 && args.size() != 4 && args.size() != 5) return UsageError("xml-value");
  auto arg = [&](size_t i) { return i < args.size() ? Text(args[i]) : Text(); };
  // The client's lookup treats an unreadable file (missing, a folder) as an
  // empty document; say so here, where a user would otherwise see nothing.
  FailureStatus status;
  const Text document = ReadTextFile(arg(0), &status);
  if (status.failed) {
    std::fprintf(stderr, "zorva-tool: cannot read %s\n", args[0].c_str());
    return 1;
  }
  WriteOut(GetXmlValue(document, arg(1), arg(2), arg(3), arg(4)));
  return 0;
}

int Scramble(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("scramble");
  WriteOut(ScrambleText(Text(args[0]), "e"));
  return 0;
}

int Unscramble(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("unscramble");
  WriteOut(ScrambleText(Text(args[0]), Text()));
  return 0;
}

int Crypt(const char* name, bool (*run)(const Text&, const Text&, const Text&, StatusWindow*),
          const std::vector<std::string>& args) {
  if (args.size() != 2 && args.size() != 3) return UsageError(name);
  const Text password = args.size() == 3 ? Text(args[2]) : Text(kSavedPasswordKey);
  StderrStatus status;
  return run(Text(args[0]), Text(args[1]), password, &status) ? 0 : 1;
}

int Encrypt(const std::vector<std::string>& args) { return Crypt("encrypt", EncryptFile, args); }
int Decrypt(const std::vector<std::string>& args) { return Crypt("decrypt", DecryptFile, args); }

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"xml-value", "xml-value FILE TAG [ATTRIBUTE VALUE [RESULT_ATTRIBUTE]]",
       "print a value of an XML file, found the way the client finds it",
       "\nWith TAG alone: the content of the first element whose name starts\n"
       "with TAG. With ATTRIBUTE and VALUE: the first such element whose\n"
       "ATTRIBUTE is VALUE, and of it RESULT_ATTRIBUTE, or its content when no\n"
       "RESULT_ATTRIBUTE is given. Comments are ignored. Prints the value's\n"
       "bytes as stored (code page 936), without a line feed; nothing when the\n"
       "value is empty or not found. Exit 1 when FILE cannot be read.",
       XmlValue},
      {"scramble", "scramble TEXT", "encode TEXT the way passwords travel to the server",
       "\nPrints the scrambled form of TEXT (decimal digits, \"??\" for bytes other\n"
       "than letters and digits), without a line feed. Each run gives a\n"
       "different but equivalent form; encoding takes 10 ms per byte.",
       Scramble},
      {"unscramble", "unscramble TEXT", "decode a scrambled text",
       "\nPrints what the client reads back from TEXT, without a line feed:\n"
       "letters in lower case, '?' for bytes that had no code. Text that is not\n"
       "in the scrambled form gives whatever the rules select, often nothing.",
       Unscramble},
      {"encrypt", "encrypt SRC DST [PASSWORD]", "encrypt a file as saved-password files are",
       "\nWrites DST as SRC encrypted with RC4 keyed by the MD5 digest of\n"
       "PASSWORD (default: the fixed password of the client's saved-password\n"
       "files). DST is replaced only on success and is readable by its owner\n"
       "only. Progress and errors go to stderr; exit 0 only on success.",
       Encrypt},
      {"decrypt", "decrypt SRC DST [PASSWORD]", "decrypt a saved-password file",
       "\nWrites DST as SRC decrypted with PASSWORD (default: the fixed password\n"
       "of the client's saved-password files). A wrong password cannot be\n"
       "detected: it gives bytes unlike the original. Errors go to stderr;\n"
       "exit 0 only on success.",
       Decrypt},
  };
  return commands;
}

}  // namespace

std::vector<Command> CoreCommands() { return Commands(); }

}  // namespace zorva::tool

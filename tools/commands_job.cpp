// The commands for update jobs: make a key, build a job from a folder,
// sign it, and check it as the updater does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "tools/command.h"
#include "updater/job_keys.h"
#include "updater/update_job.h"
#include "updater/update_run.h"

namespace zorva::tool {

namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message) {
  std::fprintf(stderr, "zorva-tool: %s\n", message.c_str());
  return 1;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  return bytes;
}

// Writes the file whole through a file beside it that is renamed over it.
bool WriteFileWhole(const std::string& path, const std::string& bytes, mode_t mode) {
  const std::string temp = path + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += static_cast<size_t>(n);
  }
  const bool ok = done == bytes.size() && ::close(fd) == 0;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

int MakeKey(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("make-key");
  std::error_code ec;
  if (fs::symlink_status(args[0], ec).type() != fs::file_type::not_found) {
    return Fail(args[0] + " exists; a key file is never overwritten");
  }
  const std::optional<PrivateKey> key = GeneratePrivateKey();
  if (!key) return Fail("the system's random source failed");
  const std::string text =
      "# Private key for signing Zorva update jobs (zorva-tool sign-job).\n"
      "# Keep it secret. Public key: " +
      ToHex(PublicKeyOf(*key).data(), 32) + "\n" + ToHex(key->data(), key->size()) + "\n";
  if (!WriteFileWhole(args[0], text, 0600)) return Fail("cannot write " + args[0]);
  std::printf("%s\n", ToHex(PublicKeyOf(*key).data(), 32).c_str());
  return 0;
}

// The server path of a file: the prefix and each part of its relative path,
// percent-encoded.
std::string ServerPath(const std::string& prefix, const fs::path& relative) {
  std::string url = prefix;
  for (const fs::path& part : relative) {
    url += "/" + QByteArray::fromStdString(part.string()).toPercentEncoding().toStdString();
  }
  return url;
}

int MakeJob(const std::vector<std::string>& all) {
  std::vector<std::string> args;
  bool restart = false;
  std::string version;
  std::string versionFile;
  std::map<std::string, std::string> urls;  // destination -> server path, where given
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == "--restart") {
      restart = true;
    } else if ((all[i] == "--version" || all[i] == "--version-file") && i + 1 < all.size()) {
      (all[i] == "--version" ? version : versionFile) = all[i + 1];
      ++i;
    } else if (all[i] == "--url") {
      const size_t eq = i + 1 < all.size() ? all[i + 1].find('=') : std::string::npos;
      if (eq == std::string::npos) return UsageError("make-job");
      urls[all[i + 1].substr(0, eq)] = all[i + 1].substr(eq + 1);
      ++i;
    } else {
      args.push_back(all[i]);
    }
  }
  if (args.size() != 3) return UsageError("make-job");
  if (version.empty()) return Fail("make-job needs --version: the version the job installs");
  if (versionFile.empty()) versionFile = "zorva.xml";
  const fs::path dir = args[0];
  std::string prefix = args[1];
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix.empty() || prefix[0] != '/') return Fail("SERVER_PATH must begin with /");
  if (prefix == "/") prefix.clear();

  std::error_code ec;
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_symlink(ec))
      return Fail("symbolic links cannot go into a job: " + it->path().string());
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return Fail("cannot read " + dir.string() + ": " + ec.message());
  if (files.empty()) return Fail(dir.string() + " holds no files");
  std::sort(files.begin(), files.end());

  UpdateJob job;
  job.restart = restart;
  job.version = Text(version);
  job.versionFile = Text(versionFile);
  for (const fs::path& path : files) {
    const fs::path relative = path.lexically_relative(dir);
    JobFile file;
    file.local = Text(relative.generic_string());
    const auto given = urls.find(relative.generic_string());
    file.url = Text(given != urls.end() ? given->second : ServerPath(prefix, relative));
    if (given != urls.end()) urls.erase(given);
    file.size = fs::file_size(path, ec);
    const std::optional<std::string> hash = Sha256OfFile(path.string());
    if (ec || !hash) return Fail("cannot read " + path.string());
    file.sha256 = *hash;
    file.executable =
        (fs::status(path, ec).permissions() & fs::perms::owner_exec) != fs::perms::none;
    job.files.push_back(std::move(file));
  }
  if (!urls.empty())
    return Fail("--url names a file that is not in " + dir.string() + ": " + urls.begin()->first);
  const std::optional<std::string> body = ComposeJobBody(job);
  if (!body) {
    // Say which file, by trying them one at a time.
    for (const JobFile& file : job.files) {
      UpdateJob one{restart, {file}, Text("1"), file.local};
      if (!ComposeJobBody(one))
        return Fail("this file name cannot go into a job: " + file.local.str());
    }
    if (std::none_of(job.files.begin(), job.files.end(),
                     [&](const JobFile& f) { return f.local.str() == versionFile; })) {
      return Fail("the version file " + versionFile + " is not in " + dir.string());
    }
    return Fail("the job does not read back as written (version " + version + ")");
  }
  if (!WriteFileWhole(args[2], *body, 0644)) return Fail("cannot write " + args[2]);
  std::fprintf(stderr, "%zu files, restart %d: %s (unsigned; sign it with sign-job)\n",
               job.files.size(), restart ? 1 : 0, args[2].c_str());
  return 0;
}

int SignJob(const std::vector<std::string>& args) {
  if (args.size() != 2) return UsageError("sign-job");
  std::optional<std::string> file = ReadFile(args[0]);
  if (!file) return Fail("cannot read " + args[0]);
  std::string error;
  const std::optional<PrivateKey> key = ReadPrivateKeyFile(args[1], &error);
  if (!key) return Fail(error);
  // Signing again replaces the old signature.
  std::string_view body = *file;
  if (std::optional<std::string_view> signedPart = SignedPart(body, nullptr)) body = *signedPart;
  const JobReadResult read = ReadJobBody(body);
  if (!read.job) return Fail(args[0] + ": " + read.error);
  if (!WriteFileWhole(args[0], SignJobBody(body, *key), 0644))
    return Fail("cannot write " + args[0]);
  std::fprintf(stderr, "signed %s with the key %s\n", args[0].c_str(),
               ToHex(PublicKeyOf(*key).data(), 32).c_str());
  return 0;
}

int VerifyJob(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return UsageError("verify-job");
  std::optional<std::string> file = ReadFile(args[0]);
  if (!file) return Fail("cannot read " + args[0]);
  std::optional<PublicKey> key = BuiltInPublicKey();
  if (args.size() == 2) {
    key = ParsePublicKey(args[1]);
    if (!key) return Fail("PUBLIC_KEY must be 64 hex digits");
  }
  if (!key) return Fail("this build trusts no update key; give PUBLIC_KEY");
  const JobReadResult read = ReadSignedJob(*file, *key);
  if (!read.job) return Fail(args[0] + ": " + read.error);
  std::printf("restart\t%d\n", read.job->restart ? 1 : 0);
  std::printf("version\t%s\t%s\n", read.job->version.c_str(), read.job->versionFile.c_str());
  for (const JobFile& f : read.job->files) {
    std::printf("%s\t%llu\t%s\t%d\t%s\n", f.local.c_str(), static_cast<unsigned long long>(f.size),
                f.sha256.c_str(), f.executable ? 1 : 0, f.url.c_str());
  }
  return 0;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"make-key", "make-key PRIVATE_KEY_FILE", "make a key pair for signing update jobs",
       "Writes a new Ed25519 private key to PRIVATE_KEY_FILE (readable by its owner\n"
       "only; an existing file is never overwritten) and prints the public key, the\n"
       "64 hex digits to build the updater with (cmake -DZORVA_UPDATE_PUBLIC_KEY=...).",
       MakeKey},
      {"make-job",
       "make-job DIR SERVER_PATH JOB --version VERSION [--version-file FILE] [--restart]\n"
       "         [--url FILE=PATH ...]",
       "build an update job from a folder",
       "Lists every file under DIR in the job file JOB (unsigned): its path relative\n"
       "to DIR as the destination in the working directory, SERVER_PATH + its path\n"
       "(percent-encoded) as where the server has it, its size and SHA-256, and\n"
       "whether its owner may run it. --restart makes the updater wait for the client\n"
       "to end and start it again afterwards (a program update); without it the\n"
       "client keeps running (a program item). --url FILE=PATH gives the server path\n"
       "of one file (FILE relative to DIR) where it is not SERVER_PATH + its path.\n"
       "--version names the version the job installs; the updater applies the job\n"
       "only over an older one, read from --version-file (a file of the job, relative\n"
       "to DIR; default zorva.xml, the program's version file; an item's version file\n"
       "holds its number in a version element).\n"
       "Sign the result with sign-job.",
       MakeJob},
      {"sign-job", "sign-job JOB PRIVATE_KEY_FILE", "sign an update job",
       "Checks that JOB reads as a job, written exactly as make-job writes it, and\n"
       "appends its Ed25519 signature line, made\n"
       "with the key in PRIVATE_KEY_FILE; a signature already there is replaced.\n"
       "The file is replaced only when it all worked.",
       SignJob},
      {"verify-job", "verify-job JOB [PUBLIC_KEY]", "check an update job as the updater does",
       "Checks JOB's signature with PUBLIC_KEY (64 hex digits; default: the key this\n"
       "build's updater trusts) and reads it with the updater's rules. Prints\n"
       "\"restart\\t0|1\", \"version\\tVERSION\\tVERSION_FILE\" and then one line per\n"
       "file: destination, size, SHA-256,\n"
       "executable flag, server path (tab-separated). Exit 1 with the reason on\n"
       "stderr when the updater would refuse it.",
       VerifyJob},
  };
  return commands;
}

}  // namespace

std::vector<Command> JobCommands() { return Commands(); }

}  // namespace zorva::tool

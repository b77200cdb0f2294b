#include "core/xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

namespace zorva {

namespace {

// The bytes strictly between the first double quote at or after from and
// the next one. Without an opening quote there is no value (empty); without
// a closing quote the value is empty as well.
Text QuotedAfter(const Text& openingTag, int from) {
  int q1 = openingTag.Find('"', from);
  if (q1 < 0) return Text();
  int q2 = openingTag.Find('"', q1 + 1);
  if (q2 < 0) return Text();
  return openingTag.Mid(q1 + 1, q2 - q1 - 1);
}

// Comments go before every lookup. After each removal the search starts
// again from the beginning: the removal may join bytes into a new "<!--" or
// change which bytes start a two-byte character.
Text WithoutComments(Text work) {
  for (;;) {
    int open = work.Find("<!--");
    if (open < 0) return work;
    // From the "<!--" itself, so "<!-->" is already a whole comment.
    int close = work.Find("-->", open);
    if (close < 0) return work.Left(open);
    work = work.Left(open) + work.Mid(close + 3);
  }
}

Text ContentOfFirst(const Text& work, const Text& tag, int s) {
  int close = work.Find(("</" + tag + ">").view(), s);
  int slash = work.Find("/>", s);
  if (close < 0 || (slash >= 0 && slash < close)) return Text();
  // A closing tag whose ">" is the second byte of a two-byte character can
  // leave no ">" to end the opening tag; there is no content then.
  int gt = work.Find('>', s);
  if (gt < 0) return Text();
  return work.Mid(gt + 1, close - gt - 1);
}

Text FindRecord(const Text& work, const Text& tag, const Text& attribute, const Text& value,
                const Text& resultAttribute) {
  const Text open = "<" + tag;
  const Text closing = "</" + tag + ">";
  int pos = 0;
  for (;;) {
    int s = work.Find(open.view(), pos);
    if (s < 0) return Text();
    int slash = work.Find("/>", s);
    int close = work.Find(closing.view(), s);
    Text openingTag;
    Text content;
    int next;
    if (close >= 0) {
      int gt = work.Find('>', s);
      if (gt < 0) return Text();
      openingTag = work.Mid(s, gt - s);
      content = work.Mid(gt + 1, close - gt - 1);
      next = gt;
    } else if (slash >= 0) {
      openingTag = work.Mid(s, slash - s);
      next = slash;
    } else {
      return Text();
    }
    // A plain substring: it may match inside the element name or another
    // attribute. The first candidate without it ends the search.
    int a = openingTag.Find(attribute.view());
    if (a < 0) return Text();
    if (QuotedAfter(openingTag, a) == value) {
      if (resultAttribute.IsEmpty()) return content;
      int r = openingTag.Find(resultAttribute.view());
      if (r < 0) return Text();
      return QuotedAfter(openingTag, r);
    }
    // From inside the element just examined, so nested elements with the
    // same tag are examined in document order too.
    pos = next;
  }
}

// A name for the temporary file beside the target, unique within the
// process and across processes.
std::string TemporaryPathFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Text ReadTextFile(const Text& path, StatusWindow* status) {
  auto fail = [&] {
    if (status) status->SetText("error reading file:" + path);
    return Text();
  };
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return fail();
  std::string bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  bool failed = std::ferror(file) != 0;  // a directory opens but cannot be read
  std::fclose(file);
  if (failed) return fail();

  // Line by line, as a text-mode reader sees the file: carriage return + line
  // feed ends a line like a line feed alone, and every line, the last one
  // included, gets one line feed. A line is taken up to its first NUL, as
  // reading it into a string buffer would.
  Text text;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t lf = bytes.find('\n', start);
    size_t end = lf == std::string::npos ? bytes.size() : lf;
    size_t lineEnd = end;
    if (lf != std::string::npos && lineEnd > start && bytes[lineEnd - 1] == '\r') --lineEnd;
    text.Append(std::string_view(bytes).substr(start, lineEnd - start));
    text.Append("\n");
    start = lf == std::string::npos ? bytes.size() : lf + 1;
  }
  return text;
}

bool SaveTextFile(const Text& path, const Text& content, StatusWindow* status) {
  auto fail = [&] {
    if (status) status->SetText("error in saving file" + path);
    return false;
  };
  if (path.IsEmpty()) return fail();

  std::string onDisk;
  onDisk.reserve(content.view().size() + content.view().size() / 16);
  for (char c : content.view()) {
    if (c == '\n') onDisk += '\r';
    onDisk += c;
  }

  const std::string target = path.str();
  const std::string temporary = TemporaryPathFor(target);
  // 0666 less the umask, as creating the file directly would give.
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return fail();
  struct stat existing;
  bool ok = WriteAll(fd, onDisk);
  // A file saved over keeps its permissions.
  if (ok && stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    ok = fchmod(fd, existing.st_mode & 07777) == 0;
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (ok) ok = std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return fail();
  }
  return true;
}

Text GetXmlValue(const Text& document, const Text& tag, const Text& attribute, const Text& value,
                 const Text& resultAttribute) {
  if (document.IsEmpty()) return Text();
  const Text work = WithoutComments(document);
  int s = work.Find(("<" + tag).view());
  if (s < 0) return Text();
  if (attribute.IsEmpty()) return ContentOfFirst(work, tag, s);
  return FindRecord(work, tag, attribute, value, resultAttribute);
}

Text ReadXmlValue(const Text& path, const Text& tag, const Text& attribute, const Text& value,
                  const Text& resultAttribute) {
  return GetXmlValue(ReadTextFile(path), tag, attribute, value, resultAttribute);
}

}  // namespace zorva

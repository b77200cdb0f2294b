// Times the questions the catalogue builder asks of a catalogue, answered by
// the plain lookup (a fresh scan per question) and by the indexed form.
//
// Usage: bench_xml_lookup [NAIVE_BUDGET_SECONDS]   (default 20)
//
// The builder asks level 2 of the element text of each level 1 element and
// level 3 of the element text of each level 2 element, so the indexed run
// builds one index per such sub-document, as the builder would; building the
// indexes is part of its time. A plain run that would outlast the budget is
// stopped there and its total extrapolated from the share of questions it
// answered (marked "~").
//
// Times are the CPU time of the benchmark's thread, so that other work on a
// busy machine does not count; the wall-clock time of the indexed run is
// shown beside it.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/toolkit.h"
#include "core/xml.h"
#include "core/xml_index.h"
#include "xml_lookup/catalogue_generator.h"

namespace {

using zorva::Text;
using zorva::bench::MakeCatalogue;
using Clock = std::chrono::steady_clock;

// One answer source per document: the plain lookup or an index of it.
struct PlainAsker {
  explicit PlainAsker(const Text& document) : doc(document) {}
  Text Ask(const char* tag, const Text& order, const char* result) const {
    return zorva::GetXmlValue(doc, tag, "order", order, result);
  }
  Text doc;
};

struct IndexedAsker {
  explicit IndexedAsker(const Text& document) : index(document) {}
  Text Ask(const char* tag, const Text& order, const char* result) const {
    return index.Value(tag, "order", order, result);
  }
  zorva::XmlIndex index;
};

struct Run {
  std::vector<uint64_t> answers;  // a hash of each answer, in question order
  bool finished = true;
  double ms = 0;      // CPU time of this thread
  double wallMs = 0;  // wall-clock time
};

double ThreadCpuMs() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

uint64_t Hash(const Text& text) { return std::hash<std::string_view>()(text.view()); }

// The builder's questions: at each level, the title by order 1, 2, ... until
// it is empty, and for each title found the element text (levels 1 and 2) or
// the other three attributes (level 3, always all four questions).
template <typename Asker>
Run BuildCatalogue(const Text& catalogue, Clock::time_point deadline) {
  Run run;
  auto start = Clock::now();
  double startCpu = ThreadCpuMs();
  auto ask = [&](const Asker& asker, const char* tag, int order, const char* result) {
    Text answer = asker.Ask(tag, zorva::IntToText(order), result);
    run.answers.push_back(Hash(answer));
    return answer;
  };
  auto pastDeadline = [&] {
    if ((run.answers.size() & 63) == 0 && Clock::now() > deadline) run.finished = false;
    return !run.finished;
  };
  const Asker level1(catalogue);
  for (int i = 1; !pastDeadline() && !ask(level1, "sort_list", i, "title").IsEmpty(); ++i) {
    const Asker level2(ask(level1, "sort_list", i, ""));
    for (int j = 1; !pastDeadline() && !ask(level2, "lesson_list", j, "title").IsEmpty(); ++j) {
      const Asker level3(ask(level2, "lesson_list", j, ""));
      for (int k = 1; !pastDeadline(); ++k) {
        bool end = ask(level3, "lesson", k, "title").IsEmpty();
        ask(level3, "lesson", k, "dir");
        ask(level3, "lesson", k, "type");
        ask(level3, "lesson", k, "file_name");
        if (end) break;
      }
    }
  }
  run.ms = ThreadCpuMs() - startCpu;
  run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  double budgetSeconds = argc > 1 ? std::atof(argv[1]) : 20.0;
  if (budgetSeconds <= 0) budgetSeconds = 20.0;

  std::printf("Catalogue builder questions: plain lookup vs indexed form (one index per\n");
  std::printf("sub-document, construction included; indexed = median of 5 runs).\n");
  std::printf("Times in ms of thread CPU time; the last column is wall-clock time.\n\n");
  std::printf("%8s %10s %10s %14s %12s %8s %16s\n", "lessons", "bytes", "questions", "naive ms",
              "indexed ms", "ratio", "indexed wall ms");
  bool extrapolated = false;
  bool allEqual = true;
  for (int lessons : {100, 1000, 10000}) {
    Text catalogue = MakeCatalogue(lessons);
    auto never = Clock::time_point::max();

    std::vector<double> indexedMs;
    std::vector<double> indexedWallMs;
    Run indexed;
    for (int r = 0; r < 5; ++r) {
      indexed = BuildCatalogue<IndexedAsker>(catalogue, never);
      indexedMs.push_back(indexed.ms);
      indexedWallMs.push_back(indexed.wallMs);
    }
    std::sort(indexedMs.begin(), indexedMs.end());
    std::sort(indexedWallMs.begin(), indexedWallMs.end());
    double indexedMedian = indexedMs[indexedMs.size() / 2];
    double indexedWallMedian = indexedWallMs[indexedWallMs.size() / 2];

    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(budgetSeconds));
    Run plain = BuildCatalogue<PlainAsker>(catalogue, deadline);
    size_t total = indexed.answers.size();
    size_t asked = plain.answers.size();
    double plainMs = plain.ms;
    if (!plain.finished) {
      plainMs = plain.ms * static_cast<double>(total) / static_cast<double>(asked);
      extrapolated = true;
    }
    bool equal = asked <= total &&
                 std::equal(plain.answers.begin(), plain.answers.end(), indexed.answers.begin());
    allEqual = allEqual && equal;

    char naive[32];
    std::snprintf(naive, sizeof naive, "%s%.1f", plain.finished ? "" : "~", plainMs);
    std::printf("%8d %10d %10zu %14s %12.2f %7.0fx %16.2f\n", lessons, catalogue.GetLength(), total,
                naive, indexedMedian, plainMs / indexedMedian, indexedWallMedian);
    if (!plain.finished) {
      std::printf(
          "%8s (plain run stopped after %zu of %zu questions, %.0f ms; total extrapolated)\n", "",
          asked, total, plain.ms);
    }
    std::fflush(stdout);
  }
  std::printf("\nanswers of both forms identical: %s\n", allEqual ? "yes" : "NO");
  if (extrapolated)
    std::printf("~ extrapolated from a partial plain run (budget %g s)\n", budgetSeconds);
  return allEqual ? 0 : 1;
}

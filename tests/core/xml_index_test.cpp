#include "core/xml_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/xml.h"

namespace zorva {
namespace {

// Documents are built from pieces that exercise every rule of the lookup:
// tags sharing a prefix, nested and self-closing elements, closing tags,
// comments (also unterminated, and ones formed when a removal joins bytes),
// quotes out of place, and two-byte characters whose second byte looks like
// markup ("\x81<", "\x81\"").
const std::vector<std::string> kPieces = {
    "<u",
    "<us",
    "<user",
    "<user_list",
    "<a",
    "</u>",
    "</us>",
    "</user>",
    "</a>",
    ">",
    "/>",
    " ",
    "\n",
    " n=\"1\"",
    " n=\"2\"",
    " name=\"k\"",
    " name=\"\xd6\xd0\"",
    " v=\"x\"",
    " v=\"\"",
    " order='1'",
    "=",
    "\"",
    "x",
    "<!--",
    "-->",
    "<!-->",
    "\x81",
    "\x81<",
    "\x81\"",
    "\xd6\xd0",
    "\x81\x81",
    "&amp;",
    "-",
    "!",
    "<",
    "<!",
    "--",
    "n",
    "/",
};
const std::vector<std::string> kTags = {"u", "us", "user", "user_list", "a", "", "b", "\xd6", "/"};
const std::vector<std::string> kNames = {"n", "name", "v", "order"};
const std::vector<std::string> kAttributes = {"", "n", "name", "v", "order", "e", "\"", "<"};
const std::vector<std::string> kValues = {"1", "2", "k", "\xd6\xd0", "", "x", "\x81\""};
const std::vector<std::string> kResults = {"", "v", "n", "name", "order", "\""};

class Generator {
 public:
  explicit Generator(unsigned seed) : m_random(seed) {}

  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[std::uniform_int_distribution<size_t>(0, items.size() - 1)(m_random)];
  }
  bool Chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(m_random) < percent; }

  std::string Soup() {
    std::string doc;
    int pieces = std::uniform_int_distribution<int>(0, 40)(m_random);
    for (int i = 0; i < pieces; ++i) doc += Pick(kPieces);
    return doc;
  }

  // Mostly well-formed nested elements, with now and then a piece of soup,
  // a comment around an element, an unterminated comment or a missing
  // closing tag.
  std::string Structured(int depth = 0) {
    std::string doc;
    int elements = std::uniform_int_distribution<int>(1, 4)(m_random);
    for (int i = 0; i < elements; ++i) {
      std::string tag = Pick(std::vector<std::string>{"u", "us", "user", "user_list", "a"});
      std::string element = "<" + tag;
      for (const auto& name : kNames) {
        if (Chance(60)) element += " " + name + "=\"" + Pick(kValues) + "\"";
      }
      if (depth >= 3 || Chance(40)) {
        element += "/>";
      } else {
        element += ">" + (Chance(30) ? Pick(kPieces) : std::string()) + Structured(depth + 1);
        if (!Chance(10)) element += "</" + tag + ">";
      }
      if (Chance(10)) element = "<!--" + element + "-->";
      if (Chance(10)) element += Pick(kPieces);
      doc += element;
      if (Chance(20)) doc += "\n  ";
    }
    if (depth == 0 && Chance(5)) doc += "<!--" + Structured(1);
    return doc;
  }

 private:
  std::mt19937 m_random;
};

void ExpectSameAnswers(Generator& generator, const std::string& document, int questions) {
  const Text doc(document);
  const XmlIndex index(doc);
  for (int q = 0; q < questions; ++q) {
    Text tag = generator.Pick(kTags);
    Text attribute = generator.Pick(kAttributes);
    Text value = generator.Pick(kValues);
    Text result = generator.Pick(kResults);
    ASSERT_EQ(index.Value(tag, attribute, value, result),
              GetXmlValue(doc, tag, attribute, value, result))
        << "document " << testing::PrintToString(doc) << "\ntag " << testing::PrintToString(tag)
        << " attribute " << testing::PrintToString(attribute) << " value "
        << testing::PrintToString(value) << " result " << testing::PrintToString(result);
  }
}

TEST(XmlIndexTest, AnswersLikeGetXmlValueOnPieceSoup) {
  Generator generator(20240611);
  for (int i = 0; i < 4000; ++i) ExpectSameAnswers(generator, generator.Soup(), 40);
}

TEST(XmlIndexTest, AnswersLikeGetXmlValueOnNestedDocuments) {
  Generator generator(7);
  for (int i = 0; i < 2000; ++i) ExpectSameAnswers(generator, generator.Structured(), 60);
}

// The questions the catalogue builder asks, level by level, each level of
// the element text of the one above; orders shuffled, with gaps and missing
// titles, so that levels end early.
TEST(XmlIndexTest, AnswersLikeGetXmlValueOnCatalogues) {
  Generator generator(99);
  for (int round = 0; round < 30; ++round) {
    auto orders = [&](int count) {
      std::vector<int> list;
      for (int i = 1; i <= count; ++i) list.push_back(generator.Chance(5) ? i + 1 : i);
      std::shuffle(list.begin(), list.end(), std::mt19937(round));
      return list;
    };
    std::string catalogue = "<catalogue>\n";
    for (int i : orders(4)) {
      catalogue +=
          "<sort_list order=\"" + std::to_string(i) + "\" title=\"S" + std::to_string(i) + "\">\n";
      for (int j : orders(4)) {
        catalogue += " <lesson_list order=\"" + std::to_string(j) + "\" title=\"L\xd6\xd0" +
                     std::to_string(j) + "\">\n";
        for (int k : orders(6)) {
          std::string title = generator.Chance(5) ? "" : "title=\"T" + std::to_string(k) + "\" ";
          catalogue += "  <lesson order=\"" + std::to_string(k) + "\" " + title + "dir=\"d" +
                       std::to_string(k) + "\" type=\"lesson\" file_name=\"f.swf\"/>\n";
        }
        catalogue += " </lesson_list>\n";
      }
      catalogue += "</sort_list>\n";
    }
    catalogue += "</catalogue>\n";

    auto same = [](const Text& doc, const XmlIndex& index, const char* tag, int order,
                   const char* result) {
      Text value = Text::Format("%d", order);
      Text answer = index.Value(tag, "order", value, result);
      EXPECT_EQ(answer, GetXmlValue(doc, tag, "order", value, result)) << tag << " " << order;
      return answer;
    };
    const Text level1(catalogue);
    const XmlIndex index1(level1);
    for (int i = 1; !same(level1, index1, "sort_list", i, "title").IsEmpty(); ++i) {
      const Text level2 = same(level1, index1, "sort_list", i, "");
      const XmlIndex index2(level2);
      for (int j = 1; !same(level2, index2, "lesson_list", j, "title").IsEmpty(); ++j) {
        const Text level3 = same(level2, index2, "lesson_list", j, "");
        const XmlIndex index3(level3);
        for (int k = 1;; ++k) {
          bool end = same(level3, index3, "lesson", k, "title").IsEmpty();
          for (const char* field : {"dir", "type", "file_name"})
            same(level3, index3, "lesson", k, field);
          if (end) break;
        }
      }
    }
  }
}

TEST(XmlIndexTest, MovedIndexKeepsAnswering) {
  XmlIndex first(Text("<u n=\"1\" v=\"a\"/><u n=\"2\" v=\"b\"/>"));
  EXPECT_EQ(first.Value("u", "n", "2", "v"), Text("b"));
  XmlIndex second(std::move(first));
  EXPECT_EQ(second.Value("u", "n", "2", "v"), Text("b"));
  EXPECT_EQ(second.Value("u", "n", "1", "v"), Text("a"));
}

}  // namespace
}  // namespace zorva

#include "lessons/page_table.h"

#include "core/toolkit.h"
#include "core/xml.h"

namespace zorva {

PageTable ReadPageList(const Text& reply) {
  PageTable pages;
  for (int order = 1, gaps = 0; gaps <= kMaxPageGaps; ++order) {
    const Text orderText = IntToText(order);
    Text name = GetXmlValue(reply, "file", "order", orderText, "name");
    if (name.IsEmpty()) {
      ++gaps;
      continue;
    }
    gaps = 0;
    name.Replace(".html", ".swf");
    pages.Append({name, GetXmlValue(reply, "file", "order", orderText, "delay_time")});
  }
  return pages;
}

}  // namespace zorva

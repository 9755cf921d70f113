#pragma once
// The round-trip property of the INI document, shared by its test and its
// fuzz target: whatever bytes the reader accepts, a save and a reload give
// back the same sections with the same keys and values.
#include <fstream>
#include <string>

#include "platform/Ini.h"

namespace qvtest {

// What a document holds: its sections in order, each with its keys and
// values in order.
inline std::string Contents(const platform::IniDocument& doc) {
  std::string out;
  const std::vector<std::string> names = doc.SectionNames();
  for (size_t i = 0; i < names.size(); ++i) {
    out += "[" + names[i] + "]\n";
    for (const auto& entry : doc.SectionEntries(i)) out += entry.first + "=" + entry.second + "\n";
  }
  return out;
}

// Loads bytes from path (written there first), saves the document to path +
// ".1" and reloads that. The empty string when the property holds, else what
// differs. With write, a key written before the save must survive the same
// way, so a file the program has changed is covered too.
inline std::string IniRoundTripFailure(const std::string& bytes, const std::string& path, bool write) {
  std::ofstream(path, std::ios::binary) << bytes;
  platform::IniDocument first;
  if (!first.Load(path)) return "";  // not accepted: nothing to keep
  if (write) first.WriteString("Fast/AMLS", "lmin", "7");
  const std::string once = path + ".1";
  if (!first.Save(once)) return "the first save failed";
  platform::IniDocument second;
  if (!second.Load(once)) return "the saved file cannot be read";
  if (Contents(first) != Contents(second))
    return "sections and keys differ after a reload:\n" + Contents(first) + "---\n" + Contents(second);
  return "";
}

}  // namespace qvtest

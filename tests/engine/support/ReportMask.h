#pragma once
// Reports of two runs compared: what varies from one run to the next masked.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What varies from one run to the next: dates, times, durations and CPU
// shares; the CPU lines, whose order follows the measured times, sorted.
inline std::string Masked(const std::string& report) {
  std::string s = std::regex_replace(report, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d(:\d\d)?)"), "<DATE>");
  s = std::regex_replace(s, std::regex(R"(\d+:\d\d:\d\d\.\d\d)"), "<TIME>");
  s = std::regex_replace(s, std::regex(R"( *\d+\.\d%)"), " <SHARE>%");
  std::istringstream in(s);
  std::vector<std::string> lines, block;
  std::string line;
  auto flush = [&] {
    std::sort(block.begin(), block.end());
    lines.insert(lines.end(), block.begin(), block.end());
    block.clear();
  };
  while (std::getline(in, line)) {
    if (Contains(line, "<TIME> <SHARE>%")) {
      block.push_back(line);
      continue;
    }
    flush();
    lines.push_back(line);
  }
  flush();
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// The masked report expected of a run in `folder`: the file tests/data/<name>,
// whose "<FOLDER>" stands for the folder. QV_UPDATE_EXPECTED=1 rewrites the
// file from `report` (look at the difference before committing it).
inline std::string ExpectedReport(const std::string& name, const std::string& report, const std::string& folder) {
  const std::string expectedPath = std::string(QV_TEST_DATA) + "/" + name;
  if (getenv("QV_UPDATE_EXPECTED") != nullptr)
    std::ofstream(expectedPath, std::ios::binary) << std::regex_replace(report, std::regex(folder), "<FOLDER>");
  std::ifstream want(expectedPath, std::ios::binary);
  std::string wanted((std::istreambuf_iterator<char>(want)), {});
  // The report names the input by its path, which lies in a fresh folder.
  return std::regex_replace(wanted, std::regex("<FOLDER>"), folder);
}

#include "engine/InputFiles.h"

#include <wx/defs.h>
#include <wx/string.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "platform/FileSearch.h"

char* inputPattern = nullptr;
FILE* inputFile = nullptr;
int inputFileIndex = 0;

namespace {

wxString FromBytes(const char* text) { return wxString::FromUTF8(text); }

unsigned char LowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// The order of SortNamesNoCase: negative, 0 or positive like strcmp.
int CompareNamesNoCase(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != 0 && LowerAscii(*x) == LowerAscii(*y)) {
    ++x;
    ++y;
  }
  const int noCase = LowerAscii(*x) - LowerAscii(*y);
  return noCase != 0 ? noCase : strcmp(a, b);
}

void CloseInputFile() {
  if (inputFile != nullptr) fclose(inputFile);
  inputFile = nullptr;
}

// Opens names[inputFileIndex] after the directory part, the path composed
// in pathBuf. A path too long for pathBuf is refused like a file that
// cannot be opened.
bool OpenInputFile(char** names) {
  const int length = snprintf(pathBuf, PATH_BUF_SIZE, "%s%s", inputPattern, names[inputFileIndex]);
  if (length >= 0 && length < PATH_BUF_SIZE) inputFile = fopen(pathBuf, "rb");
  if (inputFile != nullptr) return true;
  AppendLog(wxString::Format("\n\t!! ERROR !!\nBits file \"%s%s\" not opened.\n", FromBytes(inputPattern),
                             FromBytes(names[inputFileIndex])));
  return false;
}

}  // namespace

int ListInputFiles(char*** names, uint64_t* total) {
  if (names != nullptr) *names = nullptr;
  std::vector<platform::FoundFile> found;
  if (inputPattern == nullptr || !platform::FindFiles(inputPattern, found)) return 0;
  std::vector<const platform::FoundFile*> files;
  for (const platform::FoundFile& entry : found) {
    if (entry.kind != platform::FileKind::Regular) continue;
    files.push_back(&entry);
    *total += entry.size;
  }
  if (names != nullptr && !files.empty()) {
    *names = new char*[files.size()];
    for (size_t i = 0; i < files.size(); ++i) {
      (*names)[i] = new char[files[i]->name.size() + 1];
      memcpy((*names)[i], files[i]->name.c_str(), files[i]->name.size() + 1);
    }
  }
  return static_cast<int>(files.size());
}

void SortNamesNoCase(char** names, int first, int last) {
  while (first < last) {
    const char* pivot = names[(first + last) / 2];
    int i = first;
    int j = last;
    while (i <= j) {
      while (CompareNamesNoCase(names[i], pivot) < 0) ++i;
      while (CompareNamesNoCase(pivot, names[j]) < 0) --j;
      if (i <= j) {
        std::swap(names[i], names[j]);
        ++i;
        --j;
      }
    }
    if (first < j) SortNamesNoCase(names, first, j);
    first = i;
  }
}

int ReadSequenceFromFiles(char** names, int fileCount, unsigned byteCount) {
  unsigned char* buffer = reinterpret_cast<unsigned char*>(seqBits);
  unsigned read = 0;
  if (inputFile == nullptr) {
    if (inputFileIndex >= fileCount) return 0;
    if (!OpenInputFile(names)) return READ_OPEN_FAILED;
  }
  for (;;) {
    const size_t n = fread(buffer + read, 1, byteCount - read, inputFile);
    read += static_cast<unsigned>(n);
    // The end of a file that coincides with the end of the sequence is
    // noticed by the next call.
    if (read == byteCount) return READ_COMPLETE;
    if (!feof(inputFile)) {
      AppendLog(wxString::Format("\n\t!! ERROR !!\nBits file \"%s\" not loaded.\n", FromBytes(names[inputFileIndex])));
      CloseInputFile();
      return static_cast<int>(read);
    }
    CloseInputFile();
    if (++inputFileIndex >= fileCount) return static_cast<int>(read);
    if (!OpenInputFile(names)) return READ_OPEN_FAILED;
  }
}

void ResetInputReader() {
  CloseInputFile();
  inputFileIndex = 0;
}

bool PrepareInputFiles(char*** names, int* count, uint64_t* total) {
  *total = 0;
  *count = ListInputFiles(names, total);
  if (*count == 0) {
    ShowMessageBox(wxString::Format("\n\t!! ERROR !!\n\nNo matching file for:\n%s\n", FromBytes(inputPattern)),
                   "Quorvane_MT", wxOK | wxICON_ERROR);
    return false;
  }
  SortNamesNoCase(*names, 0, *count - 1);
  if (*count == 1) {
    AppendLog(wxString::Format("File: %s\n", FromBytes(inputPattern)));
  } else {
    AppendLog(wxString::Format("Files: %s (%d files)\n", FromBytes(inputPattern), *count));
  }
  char* slash = strrchr(inputPattern, '/');
  if (slash != nullptr) {
    slash[1] = '\0';
  } else {
    inputPattern[0] = '\0';
  }
  if (seqLen == 0) {
    // The whole input shared out among the sequences in whole bytes, in 64
    // bits: it must give at least one byte and fit the 32-bit length.
    const uint64_t bits = seqCount > 0 ? *total / static_cast<uint64_t>(seqCount) * 8 : 0;
    if (bits == 0 || bits > UINT32_MAX) {
      ShowMessageBox(wxString::Format("\n\t!! ERROR !!\n\nSequence length = 0 shares the input among the sequences:\n"
                                      "%llu bytes for %d sequences give %llu bits per sequence;\n"
                                      "it must be at least 8 and below 4294967296.\n",
                                      static_cast<unsigned long long>(*total), seqCount,
                                      static_cast<unsigned long long>(bits)),
                     "Quorvane_MT", wxOK | wxICON_ERROR);
      return false;
    }
    seqLen = static_cast<uint32_t>(bits);
  }
  return true;
}

bool FillSequenceFromFiles(char** names, int count) {
  const unsigned byteCount = seqLen / 8;
  const int result = ReadSequenceFromFiles(names, count, byteCount);
  if (result == READ_COMPLETE) {
    if (seqLen % 8 != 0) {
      unsigned char* buffer = reinterpret_cast<unsigned char*>(seqBits);
      buffer[byteCount] &= static_cast<unsigned char>(0xFF << (seqLen % 8));
    }
    return true;
  }
  if (result >= 0) {
    // Reading stopped in the failing file, or in the last one when the
    // list was used up.
    const int stopped = inputFileIndex < count ? inputFileIndex : count - 1;
    AppendLog(wxString::Format("\n\n\t!! LOADING ERROR !!\nFile \"%s%s\"\n", FromBytes(inputPattern),
                               FromBytes(stopped >= 0 ? names[stopped] : "")));
    AppendLog(wxString::Format("Only %u bits have been read instead of %u\n\n", static_cast<unsigned>(result) * 8u,
                               static_cast<unsigned>(seqLen)));
  }
  seqCount = seqIndex - 1;
  return false;
}

void ReleaseInputFiles(char*** names, int* count) {
  CloseInputFile();
  if (*names != nullptr) {
    for (int i = 0; i < *count; ++i) delete[] (*names)[i];
    delete[] *names;
  }
  *names = nullptr;
  *count = 0;
}

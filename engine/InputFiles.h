#pragma once
// The input files of a run in files mode: the regular files that match
// inputPattern, sorted by name without regard to case and read, in that
// order, as one continuous byte stream into the sequence buffer.
//
// The run engine calls these in this order:
//   1. ResetInputReader             at the start of every run, before the list;
//   2. PrepareInputFiles            once, in files mode (false: error exit);
//   3. FillSequenceFromFiles        for every sequence (false: end the loop);
//   4. ReleaseInputFiles            when the run ends, however it ends
//                                   (also on the error exit).
// The file list (names, count) and the total input size belong to the
// caller between steps 2 and 4. Everything runs on the GUI thread while no
// test worker runs.
#include <cstdint>
#include <cstdio>

// The lower-cased path with wildcards in its last component, owned by the
// Start handler. PrepareInputFiles cuts it in place after its last '/', so
// that for the rest of the run it holds the directory part ("" when the
// path holds no '/'); files are opened as that part followed by the name.
extern char* inputPattern;
// The file being read ("rb"), or null.
extern FILE* inputFile;
// The index in the list of the file being read, or of the next one to open
// when inputFile is null.
extern int inputFileIndex;

// Lists the regular files matching inputPattern in one pass of the file
// search (directories and other entries are passed over) and adds their
// sizes to *total (not reset here). When names is given, *names becomes a
// new[] array of new[] copies of the bare names, as stored on disk, in
// search order (null when there are none). Returns the number of files; 0
// when nothing matches or the search cannot start.
int ListInputFiles(char*** names, uint64_t* total);

// Sorts names[first..last] in place into ascending order of the bytes with
// ASCII letters taken as lower case (so '_' sorts before every letter and
// digits before both); names equal in that order (they differ only in
// case) are ordered by their plain bytes.
void SortNamesNoCase(char** names, int first, int last);

// The results of ReadSequenceFromFiles other than a byte count.
constexpr int READ_COMPLETE = -1;
constexpr int READ_OPEN_FAILED = -2;

// Fills the first byteCount bytes of seqBits with the next bytes of the
// stream. READ_COMPLETE when all were read; READ_OPEN_FAILED when a file of
// the list cannot be opened (the line is already in the log pane);
// otherwise the bytes read by this call (0 to byteCount - 1) when the
// stream ended or a read failed (inputFileIndex then still names the
// failing file, and reaches fileCount when the stream ended).
int ReadSequenceFromFiles(char** names, int fileCount, unsigned byteCount);

// Step 1: the reader starts at the first byte of the first file.
void ResetInputReader();

// Step 2: lists the files once, refuses an empty list with the error box
// "No matching file", sorts the list, logs it, cuts inputPattern to its
// directory part and, when seqLen is 0, sets it to the whole input shared
// out among the seqCount sequences in whole bytes. An automatic length of
// 0 (less input than sequences) or of 2^32 bits or more is refused with an
// error box. On false the caller takes the error exit, and still releases
// whatever list was returned. *total is the 64-bit sum of the sizes, the
// input size of the report (write it with a 64-bit format).
bool PrepareInputFiles(char*** names, int* count, uint64_t* total);

// Step 3, for sequence seqIndex: reads seqLen / 8 bytes into seqBits. True
// when the sequence is complete; false when the input ran out or failed,
// after the log lines that say so, with seqCount lowered to the sequences
// already tested. When seqLen is not a multiple of 8, the seqLen mod 8 bits
// after the last whole byte are cleared.
bool FillSequenceFromFiles(char** names, int count);

// Step 4: closes the open input file and frees the list.
void ReleaseInputFiles(char*** names, int* count);

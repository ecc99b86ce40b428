// Fuzz target: the result list and the text report over entries with any
// bytes (entry texts come from file names, stream names and process names).
// Every line of the report has the width of the header and ends with CR LF.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "result_list.h"
#include "text_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Fields are separated by 0x1F, entries by 0x1E; the first byte decides
  // after how many report lines a cancel arrives (0: never).
  if (size == 0) return 0;
  const int cancelAfter = data[0];
  tarvex::ResultList list;
  list.StartWithTitles({"Prozessfilename", "Process-ID", "Scantarget", "Is it Malware?",
                        "Scannermessage", "Scanner Errorcode"});
  tarvex::ResultEntry entry;
  std::string* fields[6] = {&entry.processName, &entry.processId,      &entry.scantarget,
                            &entry.isMalware,   &entry.scannermessage, &entry.scannerErrornumber};
  int field = 0;
  size_t entries = 1;
  for (size_t i = 1; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\x1E') {
      list.Append(entry);
      ++entries;
      entry = tarvex::ResultEntry();
      field = 0;
    } else if (c == '\x1F') {
      field = (field + 1) % 6;
    } else {
      fields[field]->push_back(c);
    }
  }
  list.Append(entry);
  ++entries;
  FUZZ_CHECK(list.Size() == entries);

  int checks = 0;
  const std::string report =
      tarvex::BuildTextReport(list, [&] { return cancelAfter != 0 && ++checks > cancelAfter; });
  int64_t width = 0;
  for (int32_t w : list.Widths()) width += w;
  // Cells may hold CR LF themselves, so lines are counted by their known length.
  size_t at = 0;
  size_t lines = 0;
  list.SetToStart();
  while (at < report.size()) {
    FUZZ_CHECK(at + static_cast<size_t>(width) + 2 <= report.size());
    FUZZ_CHECK(report.compare(at + static_cast<size_t>(width), 2, "\r\n") == 0);
    at += static_cast<size_t>(width) + 2;
    ++lines;
  }
  FUZZ_CHECK(lines >= 2 && lines <= entries + 1);
  if (cancelAfter == 0) FUZZ_CHECK(lines == entries + 1);
  return 0;
}

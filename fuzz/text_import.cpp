// libFuzzer target: any bytes as delimited text, with fuzzed delimiters.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTargets::TextImport(data, size);
  return 0;
}

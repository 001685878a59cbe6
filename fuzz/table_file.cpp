// libFuzzer target: any bytes as a native table file.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTargets::TableFile(data, size);
  return 0;
}

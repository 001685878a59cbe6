// libFuzzer target: any bytes as LaTeX source holding tables.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzTargets::LatexReader(data, size);
  return 0;
}

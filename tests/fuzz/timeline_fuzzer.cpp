// Coverage-guided fuzz target (libFuzzer): bytes become a timeline of keys,
// mouse input and time (timeline_bytes.h), the headless program plays it,
// and the checker of the random-timeline test looks at the state after every
// handler. A broken invariant prints the script and aborts, so libFuzzer
// keeps the input; sanitizers report memory errors and undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/timeline_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavoren::timeline;
  const Script script = ScriptFromBytes(data, size);
  const std::string failure = RunChecked(script);
  if (!failure.empty()) {
    std::fprintf(stderr,
                 "timeline invariant broken: %s\n---- script ----\n%s---- end of script ----\n",
                 failure.c_str(), script.text.c_str());
    std::abort();
  }
  return 0;
}

// Linked into every test program: arms the test seams before main() runs, so a test can queue
// answers and read records from its first line on.
#include "util/TestSeam.h"

namespace {

[[maybe_unused]] const bool g_armed = [] {
    TestSeams::arm();
    return true;
}();

} // namespace

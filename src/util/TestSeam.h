#pragma once

#include <functional>

// The few places where a test stands in for the user or the system: message box answers and the
// record of shown messages, the input dialog's entries, the shell launcher's record of started
// programs, the application directory and the update server's address.
//
// Every seam is a TTestSeam and is inert until the process arms the seams: it records nothing,
// queues nothing and overrides nothing, so the program itself never keeps a message text or a
// typed entry. Test programs arm at start (tests/support/ArmTestSeams.cpp); so do benchmarks and
// the screenshot tools. TestSeams::reset() puts every seam back to its empty state in one call.
namespace TestSeams {

// Arms every seam for the rest of the process. The program never calls it.
void arm();
bool armed();

// Empties every seam: queued answers and entries, records, overrides.
void reset();

// Used by TTestSeam: registers what reset() does for one seam.
void registerReset(std::function<void()> reset);

} // namespace TestSeams

// One seam's state. state() is nullptr unless the seams are armed, so a seam's code reads
// `if (auto* s = seam.state()) ...` and does nothing of the sort in the program.
template <typename State> class TTestSeam
{
public:
    TTestSeam()
    {
        TestSeams::registerReset([this] { m_state = State{}; });
    }
    TTestSeam(const TTestSeam&) = delete;
    TTestSeam& operator=(const TTestSeam&) = delete;

    State* state() { return TestSeams::armed() ? &m_state : nullptr; }
    const State* state() const { return TestSeams::armed() ? &m_state : nullptr; }

private:
    State m_state{};
};

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "sequence/Harness.h"
#include "sequence/Sequence.h"

// The whole run is one case: each call depends on what the calls before it
// made, so a failure names its call number and the options that replay the
// run up to it.
TEST(ApiSequence, HostileCallsAnswerPlainResultsAndLeaveNothingBehind)
{
    const SequenceOptions& options = Options();
    const DWORD start = GetTickCount();
    Sequence sequence(options.seed, options.verbose);
    sequence.Run(options.calls);
    std::printf("seed %s: %u calls, %u loads of the module, at most %u objects alive, %lu ms; slowest %s\n",
                std::to_string(options.seed).c_str(), sequence.CallsMade(), sequence.Loads(),
                unsigned(sequence.MostObjectsAlive()), GetTickCount() - start, sequence.SlowestCall().c_str());
}

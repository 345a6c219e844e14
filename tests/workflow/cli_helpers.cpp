// The command-line runner and the expected-output helpers of the command-line tests,
// compiled into this test program too.
#include "cli/cli_runner.cpp"
#include "cli/expected_output.cpp"

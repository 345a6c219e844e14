// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/json_schema.h"

#include "support/cli_runner.h"
#include "support/temp_dir.h"
#include "support/text_file.h"

namespace korvelo::test {

// The system's python, which the Debian jsonschema module belongs to (not a python of the
// user's, which may lack it).
constexpr const char* kPython = "/usr/bin/python3";

std::string schemaViolations(const std::string& name, const std::string& document) {
  TempDir folder;
  const std::string path = folder.file("document.json");
  writeFileText(path, document);
  const std::string source = KORVELO_SOURCE_DIR;
  const CliRun run = runCli({source + "/tests/support/json_schema_check.py",
                             source + "/docs/json.md", "korvelo:" + name, path},
                            {.program = kPython});
  if (run.status == 0) return {};
  return run.out + run.err + (run.out.empty() && run.err.empty() ? "the checker failed" : "");
}

}  // namespace korvelo::test

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Holds a JSON document the programs wrote against its schema in docs/json.md, the page
// users read, so that the page and the programs cannot drift apart.

#include <string>

namespace korvelo::test {

// "" when `document` (JSON text) fits the schema "korvelo:<name>"; otherwise one line per
// violation, or why the check could not run.
std::string schemaViolations(const std::string& name, const std::string& document);

}  // namespace korvelo::test

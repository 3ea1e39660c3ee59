// Two previews shaped like the sample company's reports, for the renderer's
// tests: an income statement on one page (one kept section, a note, a
// reference to another row, drill keys) and a trial balance of many
// accounts over several pages (kept account classes, a total kept with its
// last accounts).
#ifndef ORVO_TESTS_RENDER_REPORT_FIXTURES_H_
#define ORVO_TESTS_RENDER_REPORT_FIXTURES_H_

#include <string>
#include <utility>
#include <vector>

#include "preview_fixture.h"

namespace orvo::render::testing {

// The kept sections a fixture declared, as first and last body row.
using KeptRows = std::vector<std::pair<int, int>>;

void IncomeStatement(PreviewFixture& preview, KeptRows& kept);
void TrialBalance(PreviewFixture& preview, KeptRows& kept, int accounts);

// The figure text of an amount: 1,234 or (1,234).
std::string Figure(long long value);

}  // namespace orvo::render::testing

#endif  // ORVO_TESTS_RENDER_REPORT_FIXTURES_H_

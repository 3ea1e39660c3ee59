// The parameterless data-driver functions, as the rest of the library asks
// for them: each result is fetched through the thread's command factory
// (GetCommandFactory) and kept for the thread's life.
//
// Invariants:
//   * A result that is Nothing is not kept: the next call asks the driver
//     again. Likewise the current-year index is asked again while it is 0
//     and the default primary sort while it is empty.
//   * Refresh runs Refresh_DDKFunction on every call and keeps nothing.
//   * The ledger years are read only after a ledger-period result that is not
//     Nothing; otherwise number 1, source "Periods", description "Error".
//   * Driver failures propagate unchanged.
//
// Threading: per thread; no locking. Only the ICommandFactory interface is used.
#ifndef ORVO_FRAME_DRIVER_CACHE_H_
#define ORVO_FRAME_DRIVER_CACHE_H_

#include <string>

#include "frame/int16.h"
#include "orvo/xml.h"

namespace orvo {

// SupportedProductFields_DDKFunction: children with `Name` = field name.
xml::Node SupportedProductFields();

// LedgerPeriod_DDKFunction; Nothing when the driver answers nothing.
xml::Node LedgerPeriod();

// LedgerYears_DDKFunction: a child per year, latest first, with
// `DDKFieldYearName`. Raises "Periods"/"Error" when LedgerPeriod() is Nothing.
xml::Node LedgerYears();

// RelativeLedgerYears_DDKFunction: a child per year, latest first, with `Name`.
xml::Node RelativeLedgerYears();

// RelativeCurrentYearIndex_DDKFunction's `Name`: the 1-based position of the
// current year in RelativeLedgerYears(). An answer without a numeric `Name`
// raises a failure naming the function.
Int16 RelativeCurrentYearIndex();

// AccountCodeStructure_DDKFunction: a child per code segment with
// `DDKFieldAccountCodeSplitter`.
xml::Node AccountCodeStructure();

// RepeatDefaultPrimarySort_DDKFunction's `Name` ("" when the answer has none).
std::string RepeatDefaultPrimarySort();

// Runs Refresh_DDKFunction.
void Refresh();

}  // namespace orvo

#endif  // ORVO_FRAME_DRIVER_CACHE_H_

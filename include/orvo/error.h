// The library's one failure type.
//
// Every failure that reaches a public member is an orvo::Error carrying a
// number, a source and a description. Errors the library raises itself carry
// number 1 (see RaiseError); failures passed through from the XML services or
// from a provider carry that component's own code.
//
// Failures reach the host as they arose: no layer catches an Error to change
// its number or source (a workspace reader may say which file it was
// reading in the description). A step that may fail is wrapped in ResumeNext
// (below), never in a blanket catch.
//
// The parser is the one place where failures become messages. Syntax
// problems in formulas are never failures: cParser collects them in its
// error list (ErrorCollection). And cParser::TokenFromString raises nothing:
// a failure while a formula's tokens are handled, a provider's included (an
// unreadable workspace file, a failing data driver), ends that formula's
// parse with the summary message "Error evaluating : " and the token. A host
// learns of a broken provider from the provider itself, which raises the
// failure whenever it is asked. Exceptions other than orvo::Error (a
// programming error, memory exhaustion) pass through the parser unchanged.
#ifndef ORVO_ERROR_H_
#define ORVO_ERROR_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace orvo {

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string source, std::string description);

  std::int32_t Number() const noexcept { return m_number; }
  const std::string& Source() const noexcept { return m_source; }
  const std::string& Description() const noexcept { return m_description; }

 private:
  std::int32_t m_number;
  std::string m_source;
  std::string m_description;
};

// Error numbers of run-time failures that are not raised by name. Every
// number the library itself gives a failure is listed here.
inline constexpr std::int32_t kErrRaised = 1;           // every RaiseError
inline constexpr std::int32_t kErrInvalidCall = 5;      // a key that is not in a collection
inline constexpr std::int32_t kErrOverflow = 6;         // 16-bit arithmetic left its range
inline constexpr std::int32_t kErrOutOfBounds = 9;      // index outside an array's bounds
inline constexpr std::int32_t kErrTypeMismatch = 13;    // text that is not the value it must be
inline constexpr std::int32_t kErrCancelled = 18;       // a build stopped by its cancel check
inline constexpr std::int32_t kErrObjectRequired = 91;  // Nothing where an object is required
inline constexpr std::int32_t kErrDuplicateKey = 457;   // a key already in a collection

// Source of the run-time failures above (but for kErrCancelled, whose source
// is the member whose build was stopped, "CreatePreview").
inline constexpr const char* kLibrarySource = "OrvoReportPrv";

// The single throw point for failures the library raises by name: number 1.
[[noreturn]] void RaiseError(std::string source, std::string description);

// Throw points for run-time failures and pass-through failures.
[[noreturn]] void RaiseFailure(std::int32_t number, std::string source, std::string description);
[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseOutOfBounds();
[[noreturn]] void RaiseTypeMismatch();
[[noreturn]] void RaiseObjectRequired();
// A build that its cancel check stopped: number kErrCancelled, the member
// that was building as its source, and kCancelledDescription.
[[noreturn]] void RaiseCancelled(std::string source);

inline constexpr const char* kCancelledDescription = "The preview build was cancelled";

// "On Error Resume Next" around exactly one step. A failing step is skipped,
// its Error kept as pending until cleared, and the caller goes on:
//
//   ResumeNext resume;
//   resume.Step([&] { node = FindBookmark(key); });
//   if (resume.IsErrorPending()) { ... }
//
// Only orvo::Error is tolerated; any other exception (bad_alloc, a logic
// error) still propagates.
class ResumeNext {
 public:
  template <class Action>
  bool Step(Action&& step) {
    try {
      std::forward<Action>(step)();
      return true;
    } catch (const Error& failure) {
      m_pending = failure;
      return false;
    }
  }

  bool IsErrorPending() const noexcept { return m_pending.has_value(); }
  const std::optional<Error>& Pending() const noexcept { return m_pending; }
  void Clear() noexcept { m_pending.reset(); }

 private:
  std::optional<Error> m_pending;
};

}  // namespace orvo

#endif  // ORVO_ERROR_H_

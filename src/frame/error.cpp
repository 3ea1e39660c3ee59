#include "orvo/error.h"

namespace orvo {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(source + ": " + description),
      m_number(number),
      m_source(std::move(source)),
      m_description(std::move(description)) {}

void RaiseError(std::string source, std::string description) {
  throw Error(kErrRaised, std::move(source), std::move(description));
}

void RaiseFailure(std::int32_t number, std::string source, std::string description) {
  throw Error(number, std::move(source), std::move(description));
}

void RaiseOverflow() { throw Error(kErrOverflow, kLibrarySource, "Overflow"); }

void RaiseOutOfBounds() { throw Error(kErrOutOfBounds, kLibrarySource, "Subscript out of range"); }

void RaiseTypeMismatch() { throw Error(kErrTypeMismatch, kLibrarySource, "Type mismatch"); }

void RaiseObjectRequired() {
  throw Error(kErrObjectRequired, kLibrarySource, "Object variable or With block variable not set");
}

void RaiseCancelled(std::string source) {
  throw Error(kErrCancelled, std::move(source), kCancelledDescription);
}

}  // namespace orvo

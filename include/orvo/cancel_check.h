// Cancel checks: how a host asks a running preview build to stop.
//
// A cancel check is a callable answering whether the build it is handed to
// should stop now; CPreviewBuilder::SetCancelCheck takes one. The build asks
// it between formats and evaluation passes and every thousand rows inside a
// long step, so a check must be cheap (a file-system call, an atomic read),
// and it is always called on the builder's thread.
//
//   builder.SetCancelCheck(orvo::CancelFileCheck("/tmp/acme.cancel"));
//   // another thread, or another process: create /tmp/acme.cancel
//
// Threading: the check returned by CancelFileCheck keeps no state and only
// asks the file system, so another thread or process may create the file
// while the build runs; this is the one way a second thread takes part in a
// build.
#ifndef ORVO_CANCEL_CHECK_H_
#define ORVO_CANCEL_CHECK_H_

#include <functional>
#include <string>

namespace orvo {

// A check that answers true while `path` names an existing regular file (one
// status call per check; the file is never opened or read). An empty path,
// a directory, a path that cannot be examined (a folder without search
// permission, a name that is too long) and a missing file all answer false:
// such a path never stops a build, and the check never throws.
std::function<bool()> CancelFileCheck(std::string path);

}  // namespace orvo

#endif  // ORVO_CANCEL_CHECK_H_

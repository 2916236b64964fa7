// KVLStreamTrace: a ready-made trace mechanism that writes each line as
// "stamp source message" to standard error or to a file, and the
// KVL_TRACE setting that traces an application without a code change.
//
// A line is written with one write(2) of the whole line and its newline,
// without buffering, so nothing traced is lost when the process ends
// abruptly, lines of several threads never mix (the mechanism's own lock),
// and several processes may append to one file. A file is opened for
// appending (created with mode 0666 less the umask). Disconnect closes it
// so that it can be rotated; the next line opens it again. A line that
// cannot be written to the file goes to standard error instead.
//
// KVL_TRACE, read when the first KVLTrace of the process is made (at
// library start-up): "filter[,calltree][:file]". The filter is a number
// (decimal or 0x hex) or a filter name with or without "STF_", any case
// ("Developer", "stf_moderate"); ",calltree" switches the call tree on;
// without ":file" lines go to standard error. A value that cannot be used
// is reported on standard error and leaves tracing off.
//
// Threading: every member may be called from any thread.
//
//   KVL_TRACE=developer:/tmp/app.trace ./app
//   auto out = MakeRef<KVLStreamTrace>();
//   out->SetFileName("/var/log/app.trace");   // raises file errors
//   trace->SetTraceMechanismRef(out);
#ifndef KVL_TRACE_STREAM_TRACE_H_
#define KVL_TRACE_STREAM_TRACE_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/trace/kvl_trace.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT KVLStreamTrace : public Object, public IKVLTraceMechanism {
  KVL_DECLARE_CLASS(KVLStreamTrace)
 public:
  // Writes to standard error.
  KVLStreamTrace() = default;
  ~KVLStreamTrace() override;

  // The file lines go to; "" for standard error.
  std::string FileName() const;
  // Opens `name` for appending now ("" chooses standard error) and closes
  // the former file. Raises the file errors (52, 53, 70, 75, 76) and keeps
  // the former output when `name` cannot be opened.
  void SetFileName(const std::string& name);

  // Opens the file when it is closed; true when lines can be written.
  bool Connect() override;
  // Closes the file; the next line opens it again.
  void Disconnect() override;
  // True while the output is open (always for standard error).
  bool Connected() override;
  void Trace(const std::string& aTimestamp, const std::string& theSource,
             const std::string& s) override;

 private:
  bool OpenLocked();
  void CloseLocked();

  mutable std::mutex mu_;
  std::string file_name_;
  int fd_ = -1;  // the open file; -1 when closed or for standard error
};

// A KVL_TRACE value.
struct KVL_EXPORT TraceSettings {
  int32_t filter = STF_NoTrace;
  bool call_tree = false;
  std::string file;  // "" for standard error
};
// Reads "filter[,calltree][:file]"; false, with the reason in `error`,
// when the text is not one.
KVL_EXPORT bool ParseTraceSettings(std::string_view text, TraceSettings* out,
                                   std::string* error);

}  // namespace kvl

#endif  // KVL_TRACE_STREAM_TRACE_H_

// The Convert command: the one entry into the conversion logic for both front ends.
//
// convert() checks that a source was named, creates the worker for the request's mode, asks the
// chooser for the output path and runs the worker, in this order:
//   binary decode: read and scan the mail, choose the output (proposing the attachment's name),
//                  write the decoded bytes;
//   binary encode: read the source, choose the output (no name proposed), write the mail;
//   mail / text decode: choose the output (no name proposed), then read, decode and write.
// So in the binary modes an unreadable source is reported before the user is asked for an
// output, and in the text modes after. Workers report their own failures through the sink.
#pragma once

#include "app/conversion_request.h"
#include "app/output_chooser.h"
#include "common/message_sink.h"
#include "platform/platform.h"

namespace korvani {

enum class ConvertOutcome {
  Converted,      // the output was written
  Failed,         // a worker reported a failure through the sink
  Cancelled,      // the chooser returned no path; nothing was written or shown
  MissingSource,  // no source was named; the missing-source message was shown (dialog-owned)
  NothingDone     // the mode is not one of the four; nothing happened
};

// Runs one conversion. `request.outputPath` receives the chosen path.
ConvertOutcome convert(ConversionRequest& request, Platform& platform, MessageSink& sink,
                       OutputChooser& chooser);

}  // namespace korvani

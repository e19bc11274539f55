#include "app/convert.h"

#include <new>

#include "common/messages.h"
#include "extract/attachment_extractor.h"
#include "package/attachment_packager.h"
#include "textdecode/text_decoder.h"

namespace korvani {
namespace {

ConvertOutcome outcomeOf(int result) {
  return result ? ConvertOutcome::Converted : ConvertOutcome::Failed;
}

// Asks the chooser for the output and refuses an output that is the source itself (directly, or
// through a link of either kind): replacing it would lose the source for good. Returns
// Converted to go on.
ConvertOutcome chooseOutput(ConversionRequest& request, Platform& platform, MessageSink& sink,
                            OutputChooser& chooser, const std::string& defaultName) {
  if (!chooser.chooseOutputFile(defaultName, request.outputPath)) return ConvertOutcome::Cancelled;
  request.outputExisting = chooser.existingEntry();
  if (platform.sameFile(request.sourcePath, request.outputPath)) {
    sink.showMessage(messages::describeOutputIsSource(request.outputPath, request.sourcePath));
    return ConvertOutcome::Failed;
  }
  return ConvertOutcome::Converted;
}

// The mail is read and scanned before the output is chosen, so a mail without a usable
// attachment never asks for one; the image is released on every path.
ConvertOutcome binaryDecode(ConversionRequest& request, Platform& platform, MessageSink& sink,
                            OutputChooser& chooser) {
  AttachmentExtractor extractor(platform, sink);
  std::string defaultName;
  if (!extractor.locate(request.sourcePath, defaultName)) {
    extractor.releaseImage();
    return ConvertOutcome::Failed;
  }
  if (const ConvertOutcome chosen = chooseOutput(request, platform, sink, chooser, defaultName);
      chosen != ConvertOutcome::Converted) {
    extractor.releaseImage();
    return chosen;
  }
  const int written = extractor.writeDecoded(request.outputPath, request.outputExisting);
  extractor.releaseImage();
  return outcomeOf(written);
}

ConvertOutcome binaryEncode(ConversionRequest& request, Platform& platform, MessageSink& sink,
                            OutputChooser& chooser) {
  AttachmentPackager packager(platform, sink);
  if (!packager.load(request.sourcePath)) return ConvertOutcome::Failed;
  if (const ConvertOutcome chosen = chooseOutput(request, platform, sink, chooser, {});
      chosen != ConvertOutcome::Converted) {
    return chosen;
  }
  return outcomeOf(packager.writeMessage(request.outputPath, request.outputExisting));
}

// The text modes ask for the output first and read the source afterwards.
ConvertOutcome textDecode(ConversionRequest& request, Platform& platform, MessageSink& sink,
                          OutputChooser& chooser) {
  TextDecoder decoder(platform, sink);
  if (const ConvertOutcome chosen = chooseOutput(request, platform, sink, chooser, {});
      chosen != ConvertOutcome::Converted) {
    return chosen;
  }
  const OutputForm output{request.outputCharset, request.outputExisting};
  const int written =
      request.mode == ConvertMode::MailDecode
          ? decoder.decodeMail(request.sourcePath, request.outputPath, request.encodingOption,
                               request.charsetOption, output)
          : decoder.decodeText(request.sourcePath, request.outputPath, request.encodingOption,
                               request.charsetOption, output);
  request.charactersDropped = written != 0 && decoder.droppedCharacters();
  return outcomeOf(written);
}

// The text each mode shows when memory runs out where the worker names no buffer of its own.
std::string_view outOfMemoryText(ConvertMode mode) {
  switch (mode) {
    case ConvertMode::BinaryDecode:
      return messages::kOutputBufferFailed;
    case ConvertMode::BinaryEncode:
      return messages::kPackageImageFailed;
    default:
      return messages::kDecodeOutputBufferFailed;
  }
}

ConvertOutcome dispatch(ConversionRequest& request, Platform& platform, MessageSink& sink,
                        OutputChooser& chooser) {
  switch (request.mode) {
    case ConvertMode::BinaryDecode:
      return binaryDecode(request, platform, sink, chooser);
    case ConvertMode::BinaryEncode:
      return binaryEncode(request, platform, sink, chooser);
    case ConvertMode::MailDecode:
    case ConvertMode::TextDecode:
      return textDecode(request, platform, sink, chooser);
    default:
      return ConvertOutcome::NothingDone;
  }
}

}  // namespace

ConvertOutcome convert(ConversionRequest& request, Platform& platform, MessageSink& sink,
                       OutputChooser& chooser) {
  if (request.sourcePath.empty()) {
    sink.showMessage(messages::kMissingSource, MessageOwner::Dialog);
    return ConvertOutcome::MissingSource;
  }
  // The workers hold their large blocks through the platform, which reports a failed allocation;
  // the small strings and vectors around them may still throw. That is a failure of this
  // conversion, reported as such, never the end of the program.
  try {
    return dispatch(request, platform, sink, chooser);
  } catch (const std::bad_alloc&) {
    sink.showMessage(outOfMemoryText(request.mode));
    return ConvertOutcome::Failed;
  }
}

}  // namespace korvani

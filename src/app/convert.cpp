#include "app/convert.h"

#include "common/messages.h"
#include "extract/attachment_extractor.h"
#include "package/attachment_packager.h"
#include "textdecode/text_decoder.h"

namespace korvani {
namespace {

ConvertOutcome outcomeOf(int result) {
  return result ? ConvertOutcome::Converted : ConvertOutcome::Failed;
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
  if (!chooser.chooseOutputFile(defaultName, request.outputPath)) {
    extractor.releaseImage();
    return ConvertOutcome::Cancelled;
  }
  const int written = extractor.writeDecoded(request.outputPath);
  extractor.releaseImage();
  return outcomeOf(written);
}

ConvertOutcome binaryEncode(ConversionRequest& request, Platform& platform, MessageSink& sink,
                            OutputChooser& chooser) {
  AttachmentPackager packager(platform, sink);
  if (!packager.load(request.sourcePath)) return ConvertOutcome::Failed;
  if (!chooser.chooseOutputFile(std::string(), request.outputPath)) return ConvertOutcome::Cancelled;
  return outcomeOf(packager.writeMessage(request.outputPath));
}

// The text modes ask for the output first and read the source afterwards.
ConvertOutcome textDecode(ConversionRequest& request, Platform& platform, MessageSink& sink,
                          OutputChooser& chooser) {
  TextDecoder decoder(platform, sink);
  if (!chooser.chooseOutputFile(std::string(), request.outputPath)) return ConvertOutcome::Cancelled;
  if (request.mode == ConvertMode::MailDecode) {
    return outcomeOf(decoder.decodeMail(request.sourcePath, request.outputPath,
                                        request.encodingOption, request.charsetOption));
  }
  return outcomeOf(decoder.decodeText(request.sourcePath, request.outputPath,
                                      request.encodingOption, request.charsetOption));
}

}  // namespace

ConvertOutcome convert(ConversionRequest& request, Platform& platform, MessageSink& sink,
                       OutputChooser& chooser) {
  if (request.sourcePath.empty()) {
    sink.showMessage(messages::kMissingSource, MessageOwner::Dialog);
    return ConvertOutcome::MissingSource;
  }
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

}  // namespace korvani

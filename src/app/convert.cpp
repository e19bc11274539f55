#include "app/convert.h"

#include "common/messages.h"
#include "package/attachment_packager.h"

namespace korvani {
namespace {

ConvertOutcome outcomeOf(int result) {
  return result ? ConvertOutcome::Converted : ConvertOutcome::Failed;
}

ConvertOutcome binaryEncode(ConversionRequest& request, Platform& platform, MessageSink& sink,
                            OutputChooser& chooser) {
  AttachmentPackager packager(platform, sink);
  if (!packager.load(request.sourcePath)) return ConvertOutcome::Failed;
  if (!chooser.chooseOutputFile(std::string(), request.outputPath)) return ConvertOutcome::Cancelled;
  return outcomeOf(packager.writeMessage(request.outputPath));
}

}  // namespace

ConvertOutcome convert(ConversionRequest& request, Platform& platform, MessageSink& sink,
                       OutputChooser& chooser) {
  if (request.sourcePath.empty()) {
    sink.showMessage(messages::kMissingSource, MessageOwner::Dialog);
    return ConvertOutcome::MissingSource;
  }
  switch (request.mode) {
    case ConvertMode::BinaryEncode:
      return binaryEncode(request, platform, sink, chooser);
    default:
      return ConvertOutcome::NothingDone;
  }
}

}  // namespace korvani

// The learned OCR engine's entry point.
#include "ocr/learned/learned.h"

namespace vantrel {

bool learnedOcr(Context& ctx, const std::vector<int32_t>& /*numbers*/, const LearnedStep& /*step*/,
                LearnedTotals& /*totals*/) {
    ctx.msg.log("The learned OCR engine is not available in this build.");
    return false;
}

}  // namespace vantrel

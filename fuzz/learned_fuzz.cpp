// libFuzzer target: loads arbitrary bytes as a stream file and reads its first subtitles with
// the learned OCR engine, a stand-in reading the teacher's lines, so that cutting, clustering,
// alignment, spacing and writing the texts meet any picture and any reading.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/context.h"
#include "fuzz_input.h"
#include "ocr/learned/learned.h"
#include "ocr/learned/teacher.h"
#include "platform/files.h"
#include "stream/load.h"
#include "support/session.h"

namespace {

constexpr size_t kMaxSubtitles = 6;
// Pictures larger than this are left out, as a long run over one huge picture finds nothing
// the smaller ones do not.
constexpr int64_t kMaxPictureArea = 1920 * 270;

// Reads every line as words of letters chosen by the input, placed over the picture's width.
class StubReader : public vantrel::WordReader {
public:
    explicit StubReader(uint8_t seed) : seed_(seed) {}
    bool available() const override { return true; }
    const std::string& problem() const override { return problem_; }
    std::vector<vantrel::TeacherWord> readLine(const vantrel::GreyImage& image) override {
        std::vector<vantrel::TeacherWord> words;
        const int count = 1 + (seed_ % 5);
        const int width = image.width / count;
        for (int k = 0; k < count && width > 0; ++k) {
            vantrel::TeacherWord w;
            static const char* kTexts[] = {"the", "I", "l", "rn", "\x85", "''", "fi", "\xAB", "a.", "\xE9t\xE9"};
            w.text = kTexts[(seed_ + k * 7 + image.width) % 10];
            w.left = k * width;
            w.right = (k + 1) * width - 1 + (seed_ & 1);   // now and then past its crop
            w.top = 0;
            w.bottom = image.height - 1;
            w.confidence = static_cast<float>(seed_ % 101);
            words.push_back(std::move(w));
        }
        ++seed_;
        return words;
    }

private:
    uint8_t seed_;
    std::string problem_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vantrel::fuzz::MemoryFile file;
    file.set(data, size);
    vantrel::testing::TestSession session;
    auto& [host, msg, prog, opt, ctx] = session;
    prog.eSUPfile = file.path();
    try {
        vantrel::Load(ctx);
    } catch (const vantrel::PlatformError&) {
        // A truncated stream ends with the read error; the records read so far stay.
    }
    std::vector<int32_t> numbers;
    for (size_t i = 0; i < prog.Subs.size() && numbers.size() < kMaxSubtitles; ++i) {
        bool small = true;
        for (const vantrel::TSUPObject& o : prog.Subs[i].obj)
            small = small && int64_t{o.x2 - o.x1 + 1} * int64_t{o.y2 - o.y1 + 1} <= kMaxPictureArea;
        if (small) numbers.push_back(static_cast<int32_t>(i + 1));
    }
    StubReader reader(size ? data[size / 2] : 0);
    vantrel::LearnedTotals totals;
    std::vector<vantrel::LearnedOverlay> overlay;
    try {
        vantrel::runLearnedEngineWith(ctx, reader, numbers, {}, totals, &overlay);
    } catch (const vantrel::PlatformError&) {
        // A fragment past the end of the file.
    }
    return 0;
}

// The learned engine's outside helpers, both loaded at run time so the program runs (and
// says what is missing) without them: libtesseract reads word crops, Hunspell tells words.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vantrel {

// One word Tesseract read: its text in UTF-8, box (inclusive) and confidence 0..100.
struct TeacherWord {
    std::string text;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    float confidence = 0;
};

// A grey picture, 0 black .. 255 white, row-major.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// What reads the engine's synthetic lines: Tesseract, or a stand-in in tests and fuzzing.
class WordReader {
public:
    virtual ~WordReader() = default;
    virtual bool available() const = 0;
    // Why it cannot read (a missing library or language, naming the package); empty when it can.
    virtual const std::string& problem() const = 0;
    virtual std::vector<TeacherWord> readLine(const GreyImage& image) = 0;
};

// Sets the thread limit Tesseract reads when it loads; each program's main() calls it before
// anything starts threads (setting the environment later races with them).
void limitTeacherThreads();

class Teacher : public WordReader {
public:
    // The process's one teacher for a language: loaded and started once, kept to the end.
    static Teacher& shared(const std::string& language);

    // Loads libtesseract (after limiting its threads to one, which must happen before the
    // library loads) and checks the language's data. On failure `problem()` says what is
    // missing, naming the Debian package.
    explicit Teacher(std::string language);
    ~Teacher() override;
    Teacher(const Teacher&) = delete;
    Teacher& operator=(const Teacher&) = delete;

    bool available() const override { return problem_.empty(); }
    const std::string& problem() const override { return problem_; }

    // Reads one synthetic text line. The engine starts on the first call; when it cannot,
    // problem() turns non-empty and nothing is read from then on.
    std::vector<TeacherWord> readLine(const GreyImage& image) override;

private:
    struct Api;
    std::unique_ptr<Api> api_;
    std::string language_;
    std::string problem_;
};

// Hunspell's dictionary of a Tesseract language; knows nothing when it is missing.
class Dictionary {
public:
    // The process's one dictionary for a language, built once.
    static const Dictionary& shared(const std::string& language);

    explicit Dictionary(const std::string& language);
    ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    bool loaded() const;
    // Whether a UTF-8 word is spelt right.
    bool knows(const std::string& word) const;

private:
    struct Api;
    std::unique_ptr<Api> api_;
};

// The tessdata folder the engine reads from.
inline constexpr const char* kTessdataDir = "/usr/share/tesseract-ocr/5/tessdata";

}  // namespace vantrel

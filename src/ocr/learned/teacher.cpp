// libtesseract and Hunspell, resolved with dlopen/dlsym.
#include "ocr/learned/teacher.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include <tesseract/capi.h>

#include "core/encoding.h"

namespace vantrel {
namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

template <typename F>
bool resolve(void* lib, const char* name, F& fn) {
    fn = reinterpret_cast<F>(::dlsym(lib, name));
    return fn != nullptr;
}

// Tesseract's language codes and the Hunspell dictionaries that go with them.
const char* dictionaryFor(const std::string& language) {
    if (language == "eng") return "en_US";
    if (language == "fra") return "fr_FR";
    if (language == "deu") return "de_DE";
    if (language == "spa") return "es_ES";
    if (language == "ita") return "it_IT";
    if (language == "nld") return "nl_NL";
    if (language == "por") return "pt_PT";
    return nullptr;
}

// Tesseract codes are lower-case letters, digits and "_" ("eng", "chi_sim"), several joined
// by "+"; anything else would reach a file name.
bool validCode(const std::string& code) {
    if (code.empty() || code.size() > 64 || code.front() == '+' || code.back() == '+') return false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '+' && code[i - 1] != '+') continue;
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

std::vector<std::string> codesOf(const std::string& language) {
    std::vector<std::string> codes;
    size_t start = 0;
    for (;;) {
        const size_t plus = language.find('+', start);
        codes.push_back(language.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
        if (plus == std::string::npos) return codes;
        start = plus + 1;
    }
}

}  // namespace

struct Teacher::Api {
    void* lib = nullptr;
    TessBaseAPI* handle = nullptr;
    bool started = false;
    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;
    decltype(&TessBaseAPIInit3) init = nullptr;
    decltype(&TessBaseAPIEnd) end = nullptr;
    decltype(&TessBaseAPISetVariable) setVariable = nullptr;
    decltype(&TessBaseAPISetPageSegMode) setPageSegMode = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) setResolution = nullptr;
    decltype(&TessBaseAPIRecognize) recognize = nullptr;
    decltype(&TessBaseAPIGetIterator) iterator = nullptr;
    decltype(&TessResultIteratorDelete) iteratorDelete = nullptr;
    decltype(&TessResultIteratorNext) next = nullptr;
    decltype(&TessResultIteratorGetUTF8Text) text = nullptr;
    decltype(&TessResultIteratorConfidence) confidence = nullptr;
    decltype(&TessResultIteratorGetPageIteratorConst) pageIterator = nullptr;
    decltype(&TessPageIteratorBoundingBox) box = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;

    bool bind() {
        return resolve(lib, "TessBaseAPICreate", create) && resolve(lib, "TessBaseAPIDelete", destroy) &&
               resolve(lib, "TessBaseAPIInit3", init) && resolve(lib, "TessBaseAPIEnd", end) &&
               resolve(lib, "TessBaseAPISetVariable", setVariable) &&
               resolve(lib, "TessBaseAPISetPageSegMode", setPageSegMode) &&
               resolve(lib, "TessBaseAPISetImage", setImage) &&
               resolve(lib, "TessBaseAPISetSourceResolution", setResolution) &&
               resolve(lib, "TessBaseAPIRecognize", recognize) && resolve(lib, "TessBaseAPIGetIterator", iterator) &&
               resolve(lib, "TessResultIteratorDelete", iteratorDelete) &&
               resolve(lib, "TessResultIteratorNext", next) &&
               resolve(lib, "TessResultIteratorGetUTF8Text", text) &&
               resolve(lib, "TessResultIteratorConfidence", confidence) &&
               resolve(lib, "TessResultIteratorGetPageIteratorConst", pageIterator) &&
               resolve(lib, "TessPageIteratorBoundingBox", box) && resolve(lib, "TessDeleteText", deleteText);
    }
};

namespace {

// OpenMP reads its environment when it loads. When another library brought it in before
// main() (FFmpeg's codecs do), the running copy is told directly.
void singleOpenMpThread(void* handle) {
    using SetInt = void (*)(int);
    if (auto set = reinterpret_cast<SetInt>(::dlsym(handle, "omp_set_num_threads"))) set(1);
    // No level of parallel regions is active: a region asking for its own thread count
    // runs on the calling thread all the same.
    if (auto set = reinterpret_cast<SetInt>(::dlsym(handle, "omp_set_max_active_levels"))) set(0);
}

}  // namespace

void limitTeacherThreads() {
    // Tesseract's OpenMP threads cost four to six times the work on a shared machine.
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    singleOpenMpThread(RTLD_DEFAULT);
}

namespace {

// Kept for the whole process and never torn down: Tesseract and Hunspell are loaded once,
// and ending them while the process exits gains nothing.
template <typename T>
T& sharedOne(const std::string& language) {
    static std::mutex lock;
    static auto* kept = new std::map<std::string, std::unique_ptr<T>>();
    const std::lock_guard<std::mutex> hold(lock);
    auto& slot = (*kept)[language];
    if (!slot) slot = std::make_unique<T>(language);
    return *slot;
}

}  // namespace

Teacher& Teacher::shared(const std::string& language) { return sharedOne<Teacher>(language); }

const Dictionary& Dictionary::shared(const std::string& language) { return sharedOne<Dictionary>(language); }

Teacher::Teacher(std::string language) : api_(std::make_unique<Api>()), language_(std::move(language)) {
    if (!validCode(language_)) {
        problem_ = "\"" + language_ + "\" is not a Tesseract language code (eng, fra, deu, spa, ita, nld, por).";
        return;
    }
    // The thread limit is read when the library loads, so it has to be set before dlopen;
    // main() sets it before any thread runs, and only a program that did not is set here.
    if (!::getenv("OMP_THREAD_LIMIT")) limitTeacherThreads();
    api_->lib = ::dlopen("libtesseract.so.5", RTLD_NOW | RTLD_LOCAL);
    if (!api_->lib) {
        problem_ = "Tesseract is not installed (libtesseract.so.5): install the package libtesseract5.";
        return;
    }
    singleOpenMpThread(api_->lib);
    if (!api_->bind()) {
        problem_ = "The installed libtesseract.so.5 lacks functions the OCR needs.";
        return;
    }
    for (const std::string& code : codesOf(language_)) {
        if (fileExists(std::string(kTessdataDir) + "/" + code + ".traineddata")) continue;
        std::string package = code;
        for (char& c : package)
            if (c == '_') c = '-';
        problem_ = "Tesseract has no data for the language \"" + code + "\": install the package tesseract-ocr-" +
                   package + " (apt-get install tesseract-ocr-" + package + ").";
        return;
    }
}

Teacher::~Teacher() {
    if (api_->handle) {
        api_->end(api_->handle);
        api_->destroy(api_->handle);
    }
    if (api_->lib) ::dlclose(api_->lib);
}

std::vector<TeacherWord> Teacher::readLine(const GreyImage& image) {
    std::vector<TeacherWord> words;
    if (!available() || image.width <= 0 || image.height <= 0) return words;
    Api& a = *api_;
    if (!a.started) {
        a.started = true;
        a.handle = a.create();
        if (!a.handle || a.init(a.handle, kTessdataDir, language_.c_str()) != 0) {
            problem_ = "Tesseract could not start with the language \"" + language_ + "\".";
            return words;
        }
        a.setVariable(a.handle, "debug_file", "/dev/null");
        a.setPageSegMode(a.handle, tesseract::PSM_SINGLE_LINE);
    }
    a.setImage(a.handle, image.pixels.data(), image.width, image.height, 1, image.width);
    a.setResolution(a.handle, 300);
    if (a.recognize(a.handle, nullptr) != 0) return words;
    TessResultIterator* it = a.iterator(a.handle);
    if (!it) return words;
    do {
        char* utf8 = a.text(it, tesseract::RIL_WORD);
        if (!utf8) continue;
        TeacherWord w;
        w.text = utf8ToCp1252(utf8);
        a.deleteText(utf8);
        w.confidence = a.confidence(it, tesseract::RIL_WORD);
        if (!a.box(a.pageIterator(it), tesseract::RIL_WORD, &w.left, &w.top, &w.right, &w.bottom)) continue;
        w.right -= 1;   // Tesseract's boxes end after the last column
        w.bottom -= 1;
        if (!w.text.empty()) words.push_back(std::move(w));
    } while (a.next(it, tesseract::RIL_WORD));
    a.iteratorDelete(it);
    return words;
}

struct Dictionary::Api {
    void* lib = nullptr;
    void* handle = nullptr;
    void* (*create)(const char*, const char*) = nullptr;
    void (*destroy)(void*) = nullptr;
    int (*spell)(void*, const char*) = nullptr;
};

Dictionary::Dictionary(const std::string& language) : api_(std::make_unique<Api>()) {
    // Several languages: the first one's dictionary.
    const char* name = dictionaryFor(codesOf(language).front());
    if (!name) return;
    const std::string base = std::string("/usr/share/hunspell/") + name;
    if (!fileExists(base + ".aff") || !fileExists(base + ".dic")) return;
    Api& a = *api_;
    a.lib = ::dlopen("libhunspell-1.7.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!a.lib) return;
    if (!resolve(a.lib, "Hunspell_create", a.create) || !resolve(a.lib, "Hunspell_destroy", a.destroy) ||
        !resolve(a.lib, "Hunspell_spell", a.spell))
        return;
    a.handle = a.create((base + ".aff").c_str(), (base + ".dic").c_str());
}

Dictionary::~Dictionary() {
    if (api_->handle) api_->destroy(api_->handle);
    if (api_->lib) ::dlclose(api_->lib);
}

bool Dictionary::loaded() const { return api_->handle != nullptr; }

bool Dictionary::knows(const std::string& word) const {
    if (!loaded()) return false;
    // The dictionaries Debian ships are all UTF-8.
    return api_->spell(api_->handle, cp1252ToUtf8(word).c_str()) != 0;
}

}  // namespace vantrel

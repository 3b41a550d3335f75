// libtesseract and Hunspell, resolved with dlopen/dlsym.
#include "ocr/learned/teacher.h"

#include <dlfcn.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cctype>
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
    if (language == "pol") return "pl_PL";
    if (language == "ces") return "cs_CZ";
    if (language == "hun") return "hu_HU";
    if (language == "ron") return "ro_RO";
    if (language == "tur") return "tr_TR";
    if (language == "hrv") return "hr_HR";
    if (language == "slk") return "sk_SK";
    if (language == "slv") return "sl_SI";
    if (language == "ell") return "el_GR";
    if (language == "rus") return "ru_RU";
    if (language == "ukr") return "uk_UA";
    if (language == "srp") return "sr_RS";
    if (language == "bul") return "bg_BG";
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
        w.text = asUtf8(utf8);
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
    char* (*encoding)(void*) = nullptr;
    // Words go to a dictionary in its own encoding; UTF-8 ones take them as they are.
    iconv_t fromUtf8 = reinterpret_cast<iconv_t>(-1);
    std::mutex mutex;   // the converter keeps state between calls
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
        !resolve(a.lib, "Hunspell_spell", a.spell) || !resolve(a.lib, "Hunspell_get_dic_encoding", a.encoding))
        return;
    a.handle = a.create((base + ".aff").c_str(), (base + ".dic").c_str());
    if (!a.handle) return;
    const char* encoding = a.encoding(a.handle);
    std::string code = encoding ? encoding : "";
    for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!code.empty() && code != "UTF-8" && code != "UTF8") a.fromUtf8 = ::iconv_open(encoding, "UTF-8");
}

Dictionary::~Dictionary() {
    if (api_->fromUtf8 != reinterpret_cast<iconv_t>(-1)) ::iconv_close(api_->fromUtf8);
    if (api_->handle) api_->destroy(api_->handle);
    if (api_->lib) ::dlclose(api_->lib);
}

bool Dictionary::loaded() const { return api_->handle != nullptr; }

bool Dictionary::knows(const std::string& word) const {
    if (!loaded()) return false;
    const std::string utf8 = asUtf8(word);
    if (api_->fromUtf8 == reinterpret_cast<iconv_t>(-1)) return api_->spell(api_->handle, utf8.c_str()) != 0;
    // A word the dictionary's code page cannot hold is not in the dictionary.
    std::string out(utf8.size() * 4 + 4, '\0');
    const std::lock_guard<std::mutex> lock(api_->mutex);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size() - 1;
    char* o = out.data();
    ::iconv(api_->fromUtf8, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(api_->fromUtf8, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) return false;
    out.resize(static_cast<size_t>(o - out.data()));
    return api_->spell(api_->handle, out.c_str()) != 0;
}

}  // namespace vantrel

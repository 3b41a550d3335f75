// Containers through libavformat and VobSub pairs: listing their subtitle tracks and copying
// a Blu-ray PGS track, or a DVD subpicture track, into a stream file of the kind the
// program's readers read.
#include "stream/container.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string_view>

#include "core/log_names.h"
#include "platform/files.h"
#include "stream/vobsub.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

namespace vantrel {
namespace {

// FFmpeg's libraries are loaded when a container is first opened, not when the program
// starts: they bring in a hundred more libraries (OpenMP among them), which every start of
// the command line and the window would pay for, and the program runs without them.
struct LibAv {
    decltype(&::av_strerror) strerror = nullptr;
    decltype(&::av_log_set_callback) logSetCallback = nullptr;
    decltype(&::avformat_alloc_context) allocContext = nullptr;
    decltype(&::av_dict_set) dictSet = nullptr;
    decltype(&::av_dict_get) dictGet = nullptr;
    decltype(&::av_dict_free) dictFree = nullptr;
    decltype(&::avformat_open_input) openInput = nullptr;
    decltype(&::avformat_close_input) closeInput = nullptr;
    decltype(&::avio_size) ioSize = nullptr;
    decltype(&::av_packet_alloc) packetAlloc = nullptr;
    decltype(&::av_packet_free) packetFree = nullptr;
    decltype(&::av_packet_unref) packetUnref = nullptr;
    decltype(&::av_rescale_q) rescaleQ = nullptr;
    decltype(&::avcodec_get_name) codecName = nullptr;
    decltype(&::av_get_media_type_string) mediaTypeString = nullptr;
    decltype(&::avcodec_descriptor_get) descriptorGet = nullptr;
    decltype(&::av_read_frame) readFrame = nullptr;
    std::string problem;
};

#define VANTREL_STRINGIFY2(x) #x
#define VANTREL_STRINGIFY(x) VANTREL_STRINGIFY2(x)

template <typename F>
bool resolve(void* lib, const char* name, F& fn) {
    fn = reinterpret_cast<F>(::dlsym(lib, name));
    return fn != nullptr;
}

const LibAv& libAv() {
    static const LibAv av = [] {
        LibAv a;
        // The version built against: its structures are the ones this code reads.
        const char* name = "libavformat.so." VANTREL_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR);
        void* lib = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            a.problem = std::string("Film containers are read with FFmpeg's ") + name +
                        ", which is not installed: install the package libavformat" VANTREL_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR) ".";
            return a;
        }
        // Looked up in libavformat and the libraries it loaded (libavcodec, libavutil).
        const bool bound = resolve(lib, "av_strerror", a.strerror) && resolve(lib, "av_log_set_callback", a.logSetCallback) &&
                           resolve(lib, "avformat_alloc_context", a.allocContext) && resolve(lib, "av_dict_set", a.dictSet) &&
                           resolve(lib, "av_dict_get", a.dictGet) && resolve(lib, "av_dict_free", a.dictFree) &&
                           resolve(lib, "avformat_open_input", a.openInput) &&
                           resolve(lib, "avformat_close_input", a.closeInput) && resolve(lib, "avio_size", a.ioSize) &&
                           resolve(lib, "av_packet_alloc", a.packetAlloc) && resolve(lib, "av_packet_free", a.packetFree) &&
                           resolve(lib, "av_packet_unref", a.packetUnref) && resolve(lib, "av_rescale_q", a.rescaleQ) &&
                           resolve(lib, "avcodec_get_name", a.codecName) &&
                           resolve(lib, "av_get_media_type_string", a.mediaTypeString) &&
                           resolve(lib, "avcodec_descriptor_get", a.descriptorGet) && resolve(lib, "av_read_frame", a.readFrame);
        if (!bound) a.problem = std::string("The installed ") + name + " lacks functions the program needs.";
        return a;
    }();
    return av;
}

#undef VANTREL_STRINGIFY
#undef VANTREL_STRINGIFY2

std::string avErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    libAv().strerror(code, buf, sizeof buf);
    return buf;
}

// The library's messages are not shown: what matters is reported through the log. A
// demuxer that meets a damaged or cut file says so only there, so its errors and the
// warnings about a cut mark the reading of this thread as damaged.
thread_local bool damageSeen = false;

void quietLog(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING || !format) return;
    if (level <= AV_LOG_ERROR) {
        damageSeen = true;
        return;
    }
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    const std::string_view t(text);
    if (t.find("prematurely") != t.npos || t.find("size mismatch") != t.npos || t.find("runcat") != t.npos)
        damageSeen = true;
}

// One opened container.
class Demuxer {
public:
    // `progress` (may be empty) hears how far reading got each time the library reads more of
    // the file, and stops the reading by returning false.
    explicit Demuxer(const std::string& file, CopyProgress progress = {}) : progress_(std::move(progress)) {
        if (!libAv().problem.empty()) throw PlatformError(libAv().problem);
        libAv().logSetCallback(quietLog);
        damageSeen = false;
        fc_ = libAv().allocContext();
        if (!fc_) throw cannotOpen(file, "Out of memory");
        fc_->interrupt_callback.callback = &Demuxer::interrupted;
        fc_->interrupt_callback.opaque = this;
        // The name is a local file's even when it holds a ":", and a container may open no
        // other file or protocol nor be read by a demuxer of other kinds (playlists, lists
        // of files).
        AVDictionary* options = nullptr;
        libAv().dictSet(&options, "protocol_whitelist", "file", 0);
        libAv().dictSet(&options, "format_whitelist", "matroska,mpegts,mov,mpeg", 0);
        const std::string url = "file:" + file;
        const int r = libAv().openInput(&fc_, url.c_str(), nullptr, &options);
        libAv().dictFree(&options);
        if (r < 0) throw cannotOpen(file, avErrorText(r));
        armed_ = true;
    }
    ~Demuxer() { libAv().closeInput(&fc_); }
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;

    AVFormatContext* fc() { return fc_; }
    bool stopped() const { return stopped_; }
    std::string format() const { return fc_->iformat && fc_->iformat->name ? fc_->iformat->name : ""; }

    // Only the streams in `keep` are demuxed; the others' packets are skipped unread.
    void keepOnly(const std::set<int>& keep) {
        for (unsigned i = 0; i < fc_->nb_streams; ++i)
            fc_->streams[i]->discard = keep.count(static_cast<int>(i)) ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    // A stream that appears while reading (transport streams announce them late) stays unread
    // unless kept.
    void discardLate(const std::set<int>& keep) {
        for (unsigned i = 0; i < fc_->nb_streams; ++i)
            if (!keep.count(static_cast<int>(i))) fc_->streams[i]->discard = AVDISCARD_ALL;
    }
    // True when reading stopped early: a read error, a damaged packet or a cut file.
    bool endedEarly(int lastResult) const {
        if (lastResult != AVERROR_EOF || damageSeen) return true;
        return fc_->pb && fc_->pb->error < 0 && fc_->pb->error != AVERROR_EOF;
    }

private:
    static int interrupted(void* opaque) {
        Demuxer& d = *static_cast<Demuxer*>(opaque);
        if (d.stopped_) return 1;
        if (!d.armed_ || !d.progress_ || !d.fc_->pb) return 0;
        const int64_t pos = d.fc_->pb->pos;
        if (pos < d.nextReport_) return 0;
        d.nextReport_ = pos + (1 << 20);
        if (!d.progress_(pos, libAv().ioSize(d.fc_->pb))) d.stopped_ = true;
        return d.stopped_ ? 1 : 0;
    }

    AVFormatContext* fc_ = nullptr;
    CopyProgress progress_;
    int64_t nextReport_ = 0;
    bool stopped_ = false;
    bool armed_ = false;   // opening is never stopped: its failure would read as a bad file
};

struct Packet {
    AVPacket* p = libAv().packetAlloc();
    ~Packet() { libAv().packetFree(&p); }
    Packet() = default;
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
};

// Hands each packet of `stream` to `use`, counting it and noting one the demuxer marks as
// corrupt; every other stream is dropped at the demuxer. How reading ended goes into `copy`.
template <typename Use>
void eachTrackPacket(Demuxer& d, int stream, PgsCopy& copy, Use use) {
    const std::set<int> keep{stream};
    d.keepOnly(keep);
    Packet pkt;
    int r = 0;
    while ((r = libAv().readFrame(d.fc(), pkt.p)) >= 0) {
        if (pkt.p->stream_index == stream) {
            ++copy.packets;
            if (pkt.p->flags & AV_PKT_FLAG_CORRUPT) copy.damaged = true;
            use(*pkt.p);
        }
        libAv().packetUnref(pkt.p);
        d.discardLate(keep);
    }
    copy.cancelled = d.stopped();
    if (!copy.cancelled && d.endedEarly(r)) copy.damaged = true;
}

// The demuxers whose files are film containers; anything else libavformat knows (raw
// streams, text subtitles, pictures) is left to the program's own readers.
bool containerFormat(const std::string& names) {
    static const char* const kKnown[] = {"matroska", "webm", "mpegts", "mov", "mp4", "mpeg"};
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find(',', start);
        if (end == std::string::npos) end = names.size();
        const std::string name = names.substr(start, end - start);
        for (const char* k : kKnown)
            if (name == k) return true;
        start = end + 1;
    }
    return false;
}

std::string tag(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = libAv().dictGet(dict, key, nullptr, 0);
    return e && e->value ? e->value : "";
}

void putU32(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>((v >> 16) & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
}

uint32_t to90k(int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE) return 0;
    const int64_t t = libAv().rescaleQ(value, timeBase, AVRational{1, 90000});
    return static_cast<uint32_t>(static_cast<uint64_t>(t) & 0xFFFFFFFFu);
}

// The temporary streams of loaded tables; those still there when the program ends go then.
class TempStreams {
public:
    ~TempStreams() {
        for (const std::string& path : paths_) removeWithFolder(path);
    }
    void add(const std::string& path) {
        std::lock_guard lock(m_);
        paths_.insert(path);
    }
    void remove(const std::string& path) {
        {
            std::lock_guard lock(m_);
            paths_.erase(path);
        }
        removeWithFolder(path);
    }

private:
    static void removeWithFolder(const std::string& path) {
        std::remove(path.c_str());
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos) ::rmdir(path.substr(0, slash).c_str());
    }
    std::mutex m_;
    std::set<std::string> paths_;
};

TempStreams& tempStreams() {
    static TempStreams streams;
    return streams;
}

// A new private folder in the temporary folder, holding a stream named like the container.
std::string newTempStream(const std::string& container) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantrel-track-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw PlatformError("Cannot create a temporary folder in " + pattern.substr(0, pattern.rfind('/')));
    return pattern + "/" + fileNameOnly(container);
}

std::string holdings(const ContainerInfo& info) {
    std::string list;
    for (const SubtitleTrack& t : info.tracks) list += (list.empty() ? "" : ", ") + ("subtitle " + describeTrack(t, false));
    for (const std::string& s : info.otherStreams) list += (list.empty() ? "" : ", ") + s;
    return list.empty() ? "nothing" : list;
}

// ".eng", ".fre.forced": the language as the container tags it, letters, digits and dashes
// only, so that it is safe inside a file name.
std::string trackNameSuffix(const SubtitleTrack& t) {
    std::string language;
    for (const char c : t.language)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') language += c;
    if (language == "und") language.clear();
    std::string suffix;
    if (!language.empty()) suffix.append(".").append(language);
    if (t.forced) suffix += ".forced";
    return suffix;
}

// The text of an index; a file far larger than any index of a film is refused unread.
std::string readIndexText(const std::string& idx) {
    int64_t size = 0, modified = 0;
    if (fileStamp(idx, size, modified) && size > (int64_t{64} << 20))
        throw PlatformError("\"" + idx + "\" is too large for a VobSub index.");
    const std::vector<uint8_t> bytes = readWholeFile(idx);
    return std::string(bytes.begin(), bytes.end());
}

// A pair's index: its ".idx", or without one what the ".sub" itself tells. `sub` may be empty.
VobSubIndex vobSubIndex(const VobSubPair& pair, bool& subCut) {
    subCut = false;
    if (!pair.idx.empty()) return parseVobSubIndex(readIndexText(pair.idx));
    InputFile sub(pair.sub);
    return scanVobSub(sub, subCut);
}

ContainerInfo vobSubInfo(const VobSubIndex& index) {
    ContainerInfo info;
    info.format = "vobsub";
    for (size_t i = 0; i < index.tracks.size(); ++i) {
        const VobSubTrack& v = index.tracks[i];
        SubtitleTrack t;
        t.index = static_cast<int>(i);
        t.stream = v.substream;
        t.codec = "dvd_subtitle";
        t.picture = true;
        t.dvd = true;
        t.language = v.language;
        t.isDefault = index.defaultTrack == static_cast<int>(i);
        t.packets = static_cast<int64_t>(v.entries.size());
        info.tracks.push_back(std::move(t));
    }
    return info;
}

ContainerInfo listVobSub(const std::string& file) {
    bool cut = false;
    ContainerInfo info = vobSubInfo(vobSubIndex(vobSubPair(file), cut));
    info.damaged = cut;
    return info;
}

}  // namespace

bool isContainer(const std::string& file) {
    if (isVobSubFile(file)) return true;
    try {
        Demuxer d(file);
        return containerFormat(d.format());
    } catch (const PlatformError&) {
        // Without FFmpeg a film's name still tells what it is: say what to install.
        const size_t dot = file.rfind('.');
        static const std::set<std::string> films = {"mkv", "mka", "mks", "m2ts", "mts", "ts", "mp4", "m4v", "vob", "mpg"};
        if (!libAv().problem.empty() && dot != std::string::npos) {
            std::string ext = file.substr(dot + 1);
            for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (films.count(ext)) throw PlatformError(libAv().problem);
        }
        return false;
    }
}

bool isVobSubDataBesideIndex(const std::string& file) {
    if (!isVobSubFile(file)) return false;
    const VobSubPair pair = vobSubPair(file);
    return pair.sub == file && !pair.idx.empty();
}

ContainerInfo listTracks(const std::string& file, bool countPackets) {
    if (isVobSubFile(file)) return listVobSub(file);
    Demuxer d(file);
    ContainerInfo info;
    info.format = d.format();
    if (!containerFormat(info.format)) throw PlatformError("\"" + file + "\" is no film container.");
    AVFormatContext* fc = d.fc();
    // A program stream's streams come with their first packets: the whole file is read, each
    // stream that is no subtitle discarded as soon as it appears.
    const bool late = info.format == "mpeg";
    std::map<int, int64_t> counted;
    if (late) {
        auto discardOthers = [fc] {
            for (unsigned i = 0; i < fc->nb_streams; ++i)
                if (fc->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE) fc->streams[i]->discard = AVDISCARD_ALL;
        };
        discardOthers();
        Packet pkt;
        int r = 0;
        while ((r = libAv().readFrame(fc, pkt.p)) >= 0) {
            ++counted[pkt.p->stream_index];
            libAv().packetUnref(pkt.p);
            discardOthers();
        }
        info.damaged = d.endedEarly(r);
    }
    std::set<int> subtitles;
    for (unsigned i = 0; i < fc->nb_streams; ++i) {
        const AVStream* s = fc->streams[i];
        const AVCodecParameters* par = s->codecpar;
        const char* codec = libAv().codecName(par->codec_id);
        if (par->codec_type != AVMEDIA_TYPE_SUBTITLE) {
            const char* kind = libAv().mediaTypeString(par->codec_type);
            info.otherStreams.push_back(std::string(kind ? kind : "data") + " " + codec);
            continue;
        }
        SubtitleTrack t;
        t.index = static_cast<int>(info.tracks.size());
        t.stream = static_cast<int>(i);
        t.codec = codec;
        const AVCodecDescriptor* desc = libAv().descriptorGet(par->codec_id);
        t.picture = desc && (desc->props & AV_CODEC_PROP_BITMAP_SUB);
        t.pgs = par->codec_id == AV_CODEC_ID_HDMV_PGS_SUBTITLE;
        t.dvd = par->codec_id == AV_CODEC_ID_DVD_SUBTITLE;
        t.language = tag(s->metadata, "language");
        t.title = tag(s->metadata, "title");
        t.forced = s->disposition & AV_DISPOSITION_FORCED;
        t.isDefault = s->disposition & AV_DISPOSITION_DEFAULT;
        if (late) t.packets = counted[static_cast<int>(i)];
        info.tracks.push_back(t);
        subtitles.insert(static_cast<int>(i));
    }
    if (late || !countPackets || info.tracks.empty()) return info;
    d.keepOnly(subtitles);
    Packet pkt;
    int r = 0;
    while ((r = libAv().readFrame(fc, pkt.p)) >= 0) {
        for (SubtitleTrack& t : info.tracks)
            if (t.stream == pkt.p->stream_index) ++t.packets;
        libAv().packetUnref(pkt.p);
        d.discardLate(subtitles);
    }
    info.damaged = d.endedEarly(r);
    return info;
}

PgsCopy copyPgsTrack(const std::string& file, int stream, const std::string& supFile, const CopyProgress& progress) {
    Demuxer d(file, progress);
    AVFormatContext* fc = d.fc();
    if (stream < 0 || static_cast<unsigned>(stream) >= fc->nb_streams)
        throw PlatformError("No stream " + std::to_string(stream) + " in \"" + file + "\".");
    const AVRational timeBase = fc->streams[stream]->time_base;
    OutputFile out(supFile);
    PgsCopy copy;
    std::string buf;
    eachTrackPacket(d, stream, copy, [&](const AVPacket& p) {
        const uint32_t pts = to90k(p.pts, timeBase);
        const uint32_t dts = p.dts == AV_NOPTS_VALUE ? 0 : to90k(p.dts, timeBase);
        // The packet is a run of segments: type, 16-bit length, payload. Each goes out
        // with the header a Blu-ray stream file gives every segment.
        const size_t size = p.size > 0 ? static_cast<size_t>(p.size) : 0;
        size_t off = 0;
        buf.clear();
        while (off + 3 <= size) {
            const size_t length = (static_cast<size_t>(p.data[off + 1]) << 8) | p.data[off + 2];
            if (off + 3 + length > size) break;
            buf += "PG";
            putU32(buf, pts);
            putU32(buf, dts);
            buf.append(reinterpret_cast<const char*>(p.data + off), 3 + length);
            off += 3 + length;
            ++copy.segments;
        }
        // A segment cut by the end of its packet is left out: what follows it would be
        // read as segments.
        if (off != size) copy.damaged = true;
        out.write(buf);
    });
    out.close();
    return copy;
}

DvdCopy copyDvdTrack(const std::string& file, int stream, const std::string& spFile, const CopyProgress& progress) {
    Demuxer d(file, progress);
    AVFormatContext* fc = d.fc();
    // A program stream's stream may appear only when its first packet is read.
    const bool late = fc->ctx_flags & AVFMTCTX_NOHEADER;
    if (stream < 0 || (!late && static_cast<unsigned>(stream) >= fc->nb_streams))
        throw PlatformError("No stream " + std::to_string(stream) + " in \"" + file + "\".");
    DvdCopy copy;
    std::array<uint32_t, 16> palette{};
    auto readPalette = [&] {
        const AVCodecParameters* par = fc->streams[stream]->codecpar;
        if (!par->extradata || par->extradata_size <= 0) return;
        const VobSubIndex header = parseVobSubIndex(
            std::string_view(reinterpret_cast<const char*>(par->extradata), static_cast<size_t>(par->extradata_size)));
        copy.palette = header.hasPalette;
        palette = header.palette;
    };
    if (static_cast<unsigned>(stream) < fc->nb_streams) readPalette();
    // The units are kept until the end and written in time order: the subpicture reader ends
    // each subpicture where the next one starts.
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> units;
    std::vector<uint8_t> unit;
    uint32_t unitPts = 0;
    eachTrackPacket(d, stream, copy, [&](const AVPacket& p) {
        // A unit may come in several packets; only the first carries its time. A packet with
        // a time while a unit is still open means that unit was cut.
        if (!unit.empty() && p.pts != AV_NOPTS_VALUE) {
            copy.damaged = true;
            unit.clear();
        }
        if (unit.empty()) unitPts = to90k(p.pts, fc->streams[stream]->time_base);
        if (p.size > 0) unit.insert(unit.end(), p.data, p.data + p.size);
        const size_t need = unit.size() >= 2 ? (size_t{unit[0]} << 8) | unit[1] : 0;
        if (unit.size() < 2 || unit.size() < need) return;
        unit.resize(need);
        if (spuReadable(unit)) {
            if (copy.palette && mapSpuColours(unit, palette)) ++copy.mapped;
            if (!units.empty() && unitPts < units.back().first) ++copy.reordered;
            units.emplace_back(unitPts, std::move(unit));
        } else {
            copy.damaged = true;
        }
        unit.clear();
    });
    if (!unit.empty()) copy.damaged = true;
    if (copy.reordered > 0)
        std::stable_sort(units.begin(), units.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    OutputFile out(spFile);
    std::string buf;
    for (const auto& [pts, spu] : units) {
        buf.clear();
        appendSpPacket(buf, pts, spu);
        out.write(buf);
    }
    copy.segments = static_cast<int64_t>(units.size());
    out.close();
    return copy;
}

std::string describeTrack(const SubtitleTrack& t, bool withPackets) {
    std::string s(1, '#');
    s += std::to_string(t.index);
    s += ' ';
    s += t.codec;
    if (!t.language.empty()) s.append(" ").append(t.language);
    if (!t.title.empty()) s.append(" \"").append(t.title).append("\"");
    if (t.isDefault) s += " default";
    if (t.forced) s += " forced";
    if (!t.picture) s += " (text)";
    if (withPackets) s += ", " + std::to_string(t.packets) + " packets";
    return s;
}

void dropExtractedStream(Program& prog) {
    if (prog.extractedStream.empty()) return;
    tempStreams().remove(prog.extractedStream);
    prog.extractedStream.clear();
}

namespace {

// Reading a film or a pair takes a while: the progress bar moves with the file position, and
// Cancel stops the copy; what was copied then is loaded.
CopyProgress loadProgress(Context& ctx) {
    return [&ctx](int64_t pos, int64_t size) {
        if (size > 0) ctx.host().setProgress(static_cast<int>(std::min<int64_t>(pos, size) * 100 / size), 100);
        ctx.host().pumpMessages();
        return !ctx.prog.Cancel;
    };
}

// A new temporary stream for a track of `file`, kept as the table's copy.
std::string startCopy(Program& p, const std::string& file) {
    const std::string temp = newTempStream(file);
    tempStreams().add(temp);
    p.extractedStream = temp;
    return temp;
}

void reportCancelled(Context& ctx, const std::string& shown, int64_t packets) {
    ctx.msg.log("Reading " + shown + " was cancelled after " + std::to_string(packets) + " packets of the track.");
    ctx.prog.Cancel = false;
}

// Reads the copy of a track with the reader of its kind, as if the copy had been loaded; a
// copy that ended early keeps what it holds and says so.
void readTrackCopy(Context& ctx, LoadState& st, const std::string& temp, bool bluRay, bool damaged,
                   int64_t packets, const std::string& shown) {
    Program& p = ctx.prog;
    InputFile copy(temp);
    p.streamFile = temp;
    p.streamSize = copy.size();
    p.streamModified = copy.modified();
    LoadState inner{copy};
    if (bluRay) {
        p.SubKind = kBluRayKind;
        ctx.msg.log2("Blu-ray presentation graphics found.");
        readBluRay(ctx, inner);
    } else {
        ctx.msg.log2("HD DVD (DVD) subtitle found.");
        readHDDVD(ctx, inner);
    }
    st.count = inner.count;
    st.formatError = inner.formatError;
    st.truncated = inner.truncated;
    st.truncatedAt = inner.truncatedAt;
    if (damaged && !st.formatError) {
        p.truncated = true;
        ctx.msg.log("[re]" + shown + " ends early or is damaged after " + std::to_string(packets) +
                    " packets of the track: the subtitles read so far are kept.[/re]");
        ctx.msg.log("");
    }
}

void logTracks(Context& ctx, const ContainerInfo& info, const std::string& what) {
    ctx.msg.log(what + " with " + std::to_string(info.tracks.size()) + " subtitle tracks.");
    for (const SubtitleTrack& t : info.tracks) ctx.msg.log("  track " + logName(describeTrack(t, false)));
}

// The track ctx.prog.track names, or by default the first Blu-ray track, else the first DVD
// track, else the first picture track. Null, said in the log, when there is none to load.
const SubtitleTrack* chooseTrack(Context& ctx, const ContainerInfo& info, const std::string& file) {
    const int wanted = ctx.prog.track;
    const std::string name = logName(fileNameOnly(file));
    const SubtitleTrack* chosen = nullptr;
    if (wanted >= 0) {
        if (static_cast<size_t>(wanted) >= info.tracks.size()) {
            ctx.msg.erlog("There is no subtitle track " + std::to_string(wanted) + " in " + name +
                          "; it holds: " + logName(holdings(info)));
            return nullptr;
        }
        chosen = &info.tracks[static_cast<size_t>(wanted)];
        if (!chosen->picture) {
            ctx.msg.erlog("Track " + std::to_string(wanted) + " of " + name + " is text (" + chosen->codec +
                          "): it needs no OCR.");
            return nullptr;
        }
    } else {
        for (const SubtitleTrack& t : info.tracks)
            if (t.picture && !chosen) chosen = &t;
        for (const SubtitleTrack& t : info.tracks)
            if (t.dvd && chosen && !chosen->dvd && !chosen->pgs) chosen = &t;
        for (const SubtitleTrack& t : info.tracks)
            if (t.pgs && (!chosen || !chosen->pgs)) chosen = &t;
    }
    if (!chosen) {
        ctx.msg.erlog("no picture subtitle track in " + name + "; it holds: " + logName(holdings(info)));
        bool text = false;
        for (const SubtitleTrack& t : info.tracks) text = text || !t.picture;
        if (text) ctx.msg.log("Its text subtitle tracks need no OCR.");
        return nullptr;
    }
    if (!chosen->pgs && !chosen->dvd) {
        ctx.msg.erlog("Track " + std::to_string(chosen->index) + " of " + name + " holds " + chosen->codec +
                      " pictures, which are not read from containers.");
        return nullptr;
    }
    return chosen;
}

// The chosen track of a VobSub pair: each entry's unit read from the ".sub" at the position
// the index gives, its colours mapped by the index's palette, written as an "SP" packet
// with the entry's time.
LoadResult readVobSub(Context& ctx, LoadState& st, const std::string& file) {
    Program& p = ctx.prog;
    const VobSubPair pair = vobSubPair(file);
    const std::string shown = logName(fileNameOnly(file));
    if (pair.sub.empty()) {
        ctx.msg.erlog("The subpictures of " + shown + " are missing: " + logName(CutExt(fileNameOnly(file))) +
                      ".sub is not beside it.");
        return LoadResult::Unsupported;
    }
    bool scanCut = false;
    const VobSubIndex index = vobSubIndex(pair, scanCut);
    const ContainerInfo info = vobSubInfo(index);
    logTracks(ctx, info, "VobSub pair");
    if (pair.idx.empty())
        ctx.msg.log("[re]" + shown + " has no " + logName(CutExt(fileNameOnly(file))) +
                    ".idx beside it: without its palette the subpictures show their own four colours as "
                    "greys, timed by the .sub.[/re]");
    else if (!index.hasPalette)
        ctx.msg.log("[re]" + logName(fileNameOnly(pair.idx)) +
                    " has no palette: the subpictures show their own four colours as greys.[/re]");
    if (index.badLines > 0)
        ctx.msg.log("[re]" + std::to_string(index.badLines) + " lines of " + logName(fileNameOnly(pair.idx)) +
                    " could not be read and were skipped.[/re]");
    if (index.width > 0)
        ctx.msg.log("Frame size " + std::to_string(index.width) + "x" + std::to_string(index.height) + ".");
    const SubtitleTrack* chosen = chooseTrack(ctx, info, file);
    if (!chosen) return LoadResult::Unsupported;

    // Units are read in time order: the reader ends a subpicture where the next one starts.
    std::vector<VobSubEntry> entries = index.tracks[static_cast<size_t>(chosen->index)].entries;
    size_t early = 0;
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].pts < entries[i - 1].pts) ++early;
    if (early > 0) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const VobSubEntry& a, const VobSubEntry& b) { return a.pts < b.pts; });
        ctx.msg.log("[re]" + std::to_string(early) +
                    " subpictures of the track come before the one listed ahead of them: they are read in time order.[/re]");
    }

    st.nameSuffix = trackNameSuffix(*chosen);
    if (chosen->language != "und") st.language = chosen->language;
    p.loadedTrack = chosen->index;
    const std::string temp = startCopy(p, file);
    InputFile sub(pair.sub);
    OutputFile out(temp);
    const CopyProgress progress = loadProgress(ctx);
    bool damaged = scanCut;
    int64_t units = 0;
    std::string buf;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i % 64 == 0 && !progress(static_cast<int64_t>(i), static_cast<int64_t>(entries.size()))) {
            reportCancelled(ctx, shown, units);
            break;
        }
        SpuRead unit = readVobSubUnit(sub, entries[i].filepos, chosen->stream);
        if (unit.cut || !spuReadable(unit.spu)) {
            damaged = true;
            continue;
        }
        if (index.hasPalette) mapSpuColours(unit.spu, index.palette);
        buf.clear();
        appendSpPacket(buf, static_cast<uint32_t>(static_cast<uint64_t>(entries[i].pts) & 0xFFFFFFFFu), unit.spu);
        out.write(buf);
        ++units;
    }
    out.close();
    ctx.msg.log("Subtitle track " + logName(describeTrack(*chosen, false)) + " of " + shown + ": " +
                std::to_string(units) + " subpictures.");
    readTrackCopy(ctx, st, temp, false, damaged, units, shown);
    return LoadResult::Loaded;
}

}  // namespace

LoadResult readContainer(Context& ctx, LoadState& st, const std::string& file) {
    if (isVobSubFile(file)) return readVobSub(ctx, st, file);
    Program& p = ctx.prog;
    const ContainerInfo info = listTracks(file, false);
    const std::string shown = logName(fileNameOnly(file));
    logTracks(ctx, info, "Container (" + info.format + ")");
    const SubtitleTrack* chosen = chooseTrack(ctx, info, file);
    if (!chosen) return LoadResult::Unsupported;

    st.nameSuffix = trackNameSuffix(*chosen);
    if (chosen->language != "und") st.language = chosen->language;
    p.loadedTrack = chosen->index;
    const std::string temp = startCopy(p, file);
    const CopyProgress progress = loadProgress(ctx);
    if (chosen->pgs) {
        const PgsCopy copy = copyPgsTrack(file, chosen->stream, temp, progress);
        if (copy.cancelled) reportCancelled(ctx, shown, copy.packets);
        ctx.msg.log("Subtitle track " + logName(describeTrack(*chosen, false)) + " of " + shown + ": " +
                    std::to_string(copy.packets) + " packets.");
        readTrackCopy(ctx, st, temp, true, copy.damaged, copy.packets, shown);
        return LoadResult::Loaded;
    }
    const DvdCopy copy = copyDvdTrack(file, chosen->stream, temp, progress);
    if (copy.cancelled) reportCancelled(ctx, shown, copy.packets);
    ctx.msg.log("Subtitle track " + logName(describeTrack(*chosen, false)) + " of " + shown + ": " +
                std::to_string(copy.packets) + " packets, " + std::to_string(copy.segments) + " subpictures.");
    if (!copy.palette)
        ctx.msg.log("[re]The track carries no palette: the subpictures show their own four colours as greys.[/re]");
    if (copy.reordered > 0)
        ctx.msg.log("[re]" + std::to_string(copy.reordered) +
                    " subpictures of the track come before the one ahead of them: they are read in time order.[/re]");
    readTrackCopy(ctx, st, temp, false, copy.damaged, copy.packets, shown);
    return LoadResult::Loaded;
}

}  // namespace vantrel

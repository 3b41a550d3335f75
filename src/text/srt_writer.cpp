// SubRip output: cue number, timing line, text lines, blank line per subtitle.
#include "text/srt_writer.h"

#include "core/log_names.h"
#include "platform/files.h"

namespace vantrel {

void SUP2Srt(Context& ctx) {
    Program& p = ctx.prog;
    ctx.msg.slog("Creating SRT", 0);
    ctx.msg.slog("", 1);
    ctx.host().setProgress(0, 100);
    p.controls.ProgressBar = true;
    p.controls.WebLink = false;
    p.controls.mSRT = false;
    ctx.host().controlsChanged(p.controls);

    std::vector<std::string>& out = p.mSRT;
    out.clear();
    const size_t n = p.Subs.size();
    for (size_t i = 0; i < n; ++i) {
        const TSUP& s = p.Subs[i];
        if (s.noText && s.text.empty()) {
            ctx.msg.log("Subtitle " + std::to_string(i + 1) + " shows a picture without text: left out of the SRT.");
            continue;
        }
        out.push_back(std::to_string(static_cast<uint32_t>(s.num)));
        std::string endTime = s.endTime;
        if (endSupplied(p.Subs, i)) {
            const uint32_t end = effectiveEnd(p.Subs, i);
            endTime = ticksToSrtTime(end);
            ctx.msg.log(endSuppliedMessage(s, end));
        }
        out.push_back(s.startTime + " --> " + endTime);
        size_t start = 0;
        while (true) {
            const size_t bar = s.text.find('|', start);
            out.push_back(s.text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        out.emplace_back();
        if (i % 200 == 0) ctx.host().setProgress(static_cast<int>(static_cast<double>(i) * 100.0 / static_cast<double>(n)), 100);
    }
    p.srtDirty = false;
    p.controls.mSRT = true;
    p.controls.ProgressBar = false;
    p.controls.WebLink = true;
    ctx.host().controlsChanged(p.controls);
    ctx.msg.slog("Ready", 0);
    ctx.msg.slog("", 1);
}

std::string srtFileText(const std::vector<std::string>& lines, TextEncoding encoding, size_t* unmapped) {
    std::string text;
    for (const auto& l : lines) {
        text += l;
        text += "\r\n";
    }
    return encodeText(text, encoding, unmapped);
}

void saveSrt(Context& ctx, const std::string& path) {
    size_t unmapped = 0;
    const std::string text = srtFileText(ctx.prog.mSRT, static_cast<TextEncoding>(ctx.opt.coSrtEncoding), &unmapped);
    writeWholeFile(path, text.data(), text.size());
    ctx.msg.log(logName(path) + " subtitle saved.");
    if (unmapped > 0)
        ctx.msg.log(std::to_string(unmapped) + " characters without a Windows-1252 code were written as \"?\"; "
                    "save as UTF-8 to keep them.");
}

}  // namespace vantrel

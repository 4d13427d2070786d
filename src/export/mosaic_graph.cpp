#include "export/mosaic_graph.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "codecs/av_error.h"

namespace corvane {
namespace {

// The drawtext options every text shares: white on a half-transparent black
// box, the text taken literally.
std::string TextStyle(const MosaicLayout& l) {
    const int size = std::max(10, l.cellHeight / 18);
    return "fontfile=" + l.fontFile + ":expansion=none:fontsize=" + std::to_string(size) +
           ":fontcolor=white:box=1:boxcolor=black@0.5:boxborderw=" + std::to_string(std::max(2, size / 5));
}

AVFrame* BlackPicture(int width, int height) {
    AVFrame* f = av_frame_alloc();
    if (!f) return nullptr;
    f->format = AV_PIX_FMT_YUV420P;
    f->width = width;
    f->height = height;
    if (av_frame_get_buffer(f, 0) < 0) {
        av_frame_free(&f);
        return nullptr;
    }
    // Limited range: black is Y 16, U and V 128.
    for (int y = 0; y < height; ++y) std::memset(f->data[0] + y * f->linesize[0], 16, static_cast<size_t>(width));
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < height / 2; ++y) std::memset(f->data[p] + y * f->linesize[p], 128, static_cast<size_t>(width / 2));
    return f;
}

}  // namespace

int MosaicColumns(int channels) { return channels <= 1 ? 1 : channels <= 4 ? 2 : 3; }

std::unique_ptr<MosaicGraph> MosaicGraph::Create(const MosaicLayout& layout, std::string& error) {
    std::unique_ptr<MosaicGraph> g(new MosaicGraph);
    g->layout_ = layout;
    g->layout_.labels.resize(static_cast<size_t>(layout.columns * layout.columns));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(layout.fontFile, ec)) {
        error = "the font " + layout.fontFile + " is missing";
        return nullptr;
    }
    // The font path goes into the graph text unquoted.
    if (layout.fontFile.find_first_of(":,;[]'\\= ") != std::string::npos) {
        error = "the font path " + layout.fontFile + " holds characters a filter graph cannot take";
        return nullptr;
    }
    if (!g->Build(error)) return nullptr;
    return g;
}

MosaicGraph::~MosaicGraph() {
    avfilter_graph_free(&graph_);
    av_frame_free(&black_);
    av_frame_free(&input_);
}

// "[in0]scale=W:H,setsar=1[c0];...;[c0][c1]...xstack=inputs=N:grid=CxC,
//  drawtext=(label 0),...,drawtext=(line of text)[out]"
std::string MosaicGraph::Description() const {
    const MosaicLayout& l = layout_;
    const int cells = l.columns * l.columns;
    const std::string size = std::to_string(l.cellWidth) + ":" + std::to_string(l.cellHeight);
    std::string d;
    for (int i = 0; i < cells; ++i) {
        d += "[in" + std::to_string(i) + "]scale=" + size + ",setsar=1,format=yuv420p[c" + std::to_string(i) + "];";
    }
    for (int i = 0; i < cells; ++i) d += "[c" + std::to_string(i) + "]";
    if (cells > 1) {
        d += "xstack=inputs=" + std::to_string(cells) + ":grid=" + std::to_string(l.columns) + "x" +
             std::to_string(l.columns) + ",";
    } else {
        d += "null,";
    }
    const std::string style = TextStyle(l);
    const int margin = std::max(4, l.cellHeight / 60);
    for (int i = 0; i < cells; ++i) {
        const std::string& label = l.labels[static_cast<size_t>(i)];
        if (label.empty()) continue;
        d += "drawtext=" + style + ":text=" + label + ":x=" + std::to_string(i % l.columns * l.cellWidth + margin) +
             ":y=" + std::to_string(i / l.columns * l.cellHeight + margin) + ",";
    }
    // The line's text is set before each frame (SetText).
    d += "drawtext=" + style + ":text=-:x=" + std::to_string(margin) + ":y=h-th-" + std::to_string(margin) + "[out]";
    return d;
}

bool MosaicGraph::Build(std::string& error) {
    const MosaicLayout& l = layout_;
    for (const std::string& label : l.labels) {
        for (char c : label) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
                error = "a cell label may hold letters, digits, '-' and '_' only";
                return false;
            }
        }
    }
    graph_ = avfilter_graph_alloc();
    black_ = BlackPicture(l.cellWidth, l.cellHeight);
    input_ = av_frame_alloc();
    if (!graph_ || !black_ || !input_) {
        error = "out of memory";
        return false;
    }
    // The stacking and the scaling of the cells run on slices.
    graph_->nb_threads = 0;
    const int cells = l.columns * l.columns;
    AVFilterInOut* outputs = nullptr;
    for (int i = cells - 1; i >= 0; --i) {
        char args[160];
        std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1", l.cellWidth,
                      l.cellHeight, AV_PIX_FMT_YUV420P, l.frameRate);
        AVFilterContext* src = nullptr;
        const std::string name = "in" + std::to_string(i);
        int r = avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), name.c_str(), args, nullptr, graph_);
        if (r < 0) {
            error = "cannot make the mosaic's inputs: " + AvErrorText(r);
            avfilter_inout_free(&outputs);
            return false;
        }
        sources_.insert(sources_.begin(), src);
        AVFilterInOut* io = avfilter_inout_alloc();
        if (!io) {
            avfilter_inout_free(&outputs);
            error = "out of memory";
            return false;
        }
        io->name = av_strdup(name.c_str());
        io->filter_ctx = src;
        io->pad_idx = 0;
        io->next = outputs;
        outputs = io;
    }
    int r = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph_);
    AVFilterInOut* inputs = avfilter_inout_alloc();
    if (r < 0 || !inputs) {
        avfilter_inout_free(&outputs);
        avfilter_inout_free(&inputs);
        error = "cannot make the mosaic's output: " + AvErrorText(r);
        return false;
    }
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink_;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    r = avfilter_graph_parse_ptr(graph_, Description().c_str(), &inputs, &outputs, nullptr);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (r >= 0) r = avfilter_graph_config(graph_, nullptr);
    if (r < 0) {
        error = "cannot set up the mosaic's filters: " + AvErrorText(r);
        return false;
    }
    // The line of text is drawn by the last drawtext made.
    for (unsigned i = 0; i < graph_->nb_filters; ++i) {
        if (std::strcmp(graph_->filters[i]->filter->name, "drawtext") == 0) text_ = graph_->filters[i];
    }
    return true;
}

void MosaicGraph::SetText(const std::string& text) {
    // With expansion=none drawtext draws its text option as it stands at
    // each frame, so setting the option changes the text without quoting
    // and without loading the font again.
    if (text_) av_opt_set(text_->priv, "text", text.empty() ? " " : text.c_str(), 0);
}

bool MosaicGraph::Push(const std::vector<const AVFrame*>& cells, int64_t index) {
    for (size_t i = 0; i < sources_.size(); ++i) {
        const AVFrame* picture = i < cells.size() && cells[i] ? cells[i] : black_;
        if (av_frame_ref(input_, picture) < 0) return false;
        input_->pts = index;
        input_->pict_type = AV_PICTURE_TYPE_NONE;
        // Pictures of other sizes (a recording in another resolution) are
        // scaled like the rest; the scaler follows the change.
        int r = av_buffersrc_add_frame_flags(sources_[i], input_, AV_BUFFERSRC_FLAG_NO_CHECK_FORMAT);
        av_frame_unref(input_);
        if (r < 0) return false;
    }
    return true;
}

bool MosaicGraph::Finish() {
    bool ok = true;
    for (AVFilterContext* src : sources_) ok = av_buffersrc_add_frame_flags(src, nullptr, 0) >= 0 && ok;
    return ok;
}

int MosaicGraph::Pull(AVFrame* out) { return av_buffersink_get_frame(sink_, out); }

}  // namespace corvane

#pragma once
// The mosaic picture, composed by a libavfilter graph: one buffer source per
// cell, each scaled to the cell size, stacked into the grid (xstack), each
// cell's label and one line of text (the recording's date and time, speed
// and position) drawn on it with drawtext, out through a buffer sink. Every
// output frame takes one picture from every cell; a cell without a picture
// gets a black one.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFilterGraph;
struct AVFilterContext;
struct AVFrame;

namespace corvane {

constexpr char kMosaicFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct MosaicLayout {
    int columns = 1;  // and as many rows: 1, 2 or 3
    int cellWidth = 0, cellHeight = 0;  // even
    int frameRate = 25;
    std::vector<std::string> labels;  // one per cell; empty for a cell without a channel
    std::string fontFile = kMosaicFont;
};

// 1 channel: 1 cell; 2 to 4: 2x2; 5 to 9: 3x3 (more are not shown).
constexpr int kMaxMosaicCells = 9;
int MosaicColumns(int channels);

class MosaicGraph {
public:
    // Null with `error` set when the graph cannot be built (for instance
    // when the font is missing).
    static std::unique_ptr<MosaicGraph> Create(const MosaicLayout& layout, std::string& error);
    ~MosaicGraph();
    MosaicGraph(const MosaicGraph&) = delete;
    MosaicGraph& operator=(const MosaicGraph&) = delete;

    int Width() const { return layout_.columns * layout_.cellWidth; }
    int Height() const { return layout_.columns * layout_.cellHeight; }
    // The line of text drawn from the next frame on.
    void SetText(const std::string& text);
    // The pictures of output frame `index` (in 1/frameRate), one per cell
    // (null: black). False when the graph refused them.
    bool Push(const std::vector<const AVFrame*>& cells, int64_t index);
    // Ends the input; the frames still held can then be pulled.
    bool Finish();
    // The next composed frame into `out`: 0, AVERROR(EAGAIN) when none is
    // ready, AVERROR_EOF after the last, or another error.
    int Pull(AVFrame* out);

private:
    MosaicGraph() = default;
    bool Build(std::string& error);
    std::string Description() const;

    MosaicLayout layout_;
    AVFilterGraph* graph_ = nullptr;
    std::vector<AVFilterContext*> sources_;
    AVFilterContext* sink_ = nullptr;
    AVFilterContext* text_ = nullptr;  // the drawtext of the line of text
    AVFrame* black_ = nullptr;         // a black picture of the cell size
    AVFrame* input_ = nullptr;         // the reference handed to a source
};

}  // namespace corvane

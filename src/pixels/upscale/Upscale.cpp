#include "pixels/upscale/Upscale.h"

#include <algorithm>
#include <cstring>

#include "pixels/common/ProcessorFeatures.h"
#include "pixels/upscale/Expand.h"
#include "pixels/upscale/UpscaleKernels.h"

// Every output size is served, not only the 1x to 2x the stepping was made
// for: window setup asks for larger ones when the mode change fails (640 x 480
// shown at 1440 x 1080), and nothing rules out smaller ones. Source column c
// gets output columns floor(c * out / src) up to floor((c + 1) * out / src),
// which from 1x to 2x is exactly the accumulator stepping with its single and
// doubled columns; rows likewise. Up to 2x on both axes a block shows the
// rule's left value over its first half (rounded up) and its right value over
// the rest, the upper values over its top half, so 2x is plain Scale2x.
//
// Beyond 2x the 2x2 blocks would only grow, and diagonal edges with them, so
// the rule is applied again to its own output: up to 4x each source pixel
// becomes 4x4 sub-pixels, beyond 4x 8x8, and output pixel i of a block w wide
// shows the sub-pixel under its centre, floor((2i + 1) * k / (2w)) of k. At
// 4x that is Scale4x. The rule's output before the last application is made
// a strip row at a time (DoubledRows) and read by the last pass as a source
// would be, each of its columns and rows showing its halves over as many
// places as the sub-pixels give them (BlockPlaces), none included.
//
// An output narrower or shorter than the source has blocks 0 or 1 wide, where
// the rule means nothing: every pixel shown is then the source pixel itself.
//
// The rule only compares pixels, so it may work on any values that are equal
// where the screen colours are: beyond 2x, 8-bit frames as palette indices,
// each turned into the first index of its colour (CanonicalIndices), on the
// AVX-512 level, and 16-bit frames shown on a 32-bit screen as RGB565 pixels.
// A vector then holds four or two times the pixels, which outweighs widening
// each output row to screen colours (WidenedRows) rather than each source row.

namespace {

UpscaleKernels selectedKernels = BestUpscaleKernels();

uint32_t ScaledPosition(uint32_t position, uint32_t output, uint32_t source)
{
    return static_cast<uint32_t>(uint64_t(position) * output / source);
}

bool RuleApplies(const ScaleGeometry& geometry)
{
    return geometry.outputWidth >= geometry.sourceWidth && geometry.outputHeight >= geometry.sourceHeight;
}

// How many times the rule is applied: none where the output is smaller than
// the source on either axis, once up to twice its size on both, twice up to
// four times on both, three times beyond.
uint32_t RuleLevels(const ScaleGeometry& geometry)
{
    if (!RuleApplies(geometry))
        return 0;
    const auto beyond = [&](uint64_t times) {
        return geometry.outputWidth > times * geometry.sourceWidth ||
               geometry.outputHeight > times * geometry.sourceHeight;
    };
    return beyond(4) ? 3 : beyond(2) ? 2 : 1;
}

constexpr uint32_t maxCells = 4;

// The most output columns a strip's tables and set-aside rows are made for:
// four for each column of the last pass's image.
constexpr uint32_t maxStripOutput = 4 * stripColumns;

// The columns (and rows) of the image the last application reads for each
// source pixel: the source's own up to one application, twice as many for
// each application before the last.
uint32_t CellsPerSourcePixel(uint32_t levels)
{
    return levels > 1 ? 1u << (levels - 1) : 1;
}

// The pass that writes the output, and the image it reads: the source up to
// one application of the rule, otherwise the rule's output after all but the
// last.
struct LastPass {
    ScaleGeometry geometry;
    uint32_t levels;

    uint32_t Cells() const { return CellsPerSourcePixel(levels); }
    uint32_t Width() const { return geometry.sourceWidth * Cells(); }
    uint32_t Height() const { return geometry.sourceHeight * Cells(); }
};

// The geometry of one application at exactly twice the size.
ScaleGeometry Doubling(uint32_t width, uint32_t height)
{
    return {width, height, 0, 2 * width, 2 * height, 0};
}

// The accumulator stepping of one axis, started at any source index: blocks
// are `Whole()` wide, one more each time the accumulator passes the source
// size. Comparing with the shortfall keeps the sum from overflowing.
class BlockStepper {
public:
    BlockStepper(uint32_t first, uint32_t output, uint32_t source)
        : whole_(output / source),
          remainder_(output % source),
          shortfall_(source - remainder_),
          accumulator_(static_cast<uint32_t>(uint64_t(first) * output % source))
    {
    }

    uint32_t Whole() const { return whole_; }

    uint8_t NextExtra()
    {
        if (accumulator_ >= shortfall_) {
            accumulator_ -= shortfall_;
            return 1;
        }
        accumulator_ += remainder_;
        return 0;
    }

private:
    uint32_t whole_;
    uint32_t remainder_;
    uint32_t shortfall_;
    uint32_t accumulator_;
};

// The places of one axis' columns (or rows) of the last pass's image, walked
// from a source index on. Blocks take only two widths, so the places of a
// block's cells are worked out once for each.
class AxisSteps {
public:
    AxisSteps(uint32_t first, uint32_t output, uint32_t source, uint32_t levels)
        : stepper_(first, output, source), cells_(CellsPerSourcePixel(levels)), cell_(cells_)
    {
        for (uint32_t extra = 0; extra < 2; ++extra)
            LayOutBlock(stepper_.Whole() + extra, levels, patterns_[extra]);
    }

    uint32_t Whole() const { return stepper_.Whole(); }

    BlockPlaces Next()
    {
        if (cell_ == cells_) {
            cell_ = 0;
            pattern_ = patterns_[stepper_.NextExtra()];
        }
        return pattern_[cell_++];
    }

private:
    // Beyond one application each output pixel takes the sub-pixel under its
    // centre; the cell of sub-pixel s is s / 2, and s % 2 its half.
    void LayOutBlock(uint32_t width, uint32_t levels, BlockPlaces* cells) const
    {
        if (levels <= 1) {
            cells[0] = {(width + 1) / 2, width / 2};
            return;
        }
        for (uint32_t cell = 0; cell < cells_; ++cell)
            cells[cell] = {0, 0};
        const uint64_t subPixels = 2 * cells_;
        for (uint64_t place = 0; place < width; ++place) {
            const uint64_t subPixel = (2 * place + 1) * subPixels / (2 * uint64_t(width));
            BlockPlaces& cell = cells[subPixel / 2];
            ++(subPixel % 2 ? cell.second : cell.first);
        }
    }

    BlockStepper stepper_;
    uint32_t cells_;
    uint32_t cell_;
    BlockPlaces patterns_[2][maxCells];
    const BlockPlaces* pattern_ = nullptr;
};

// The places of a strip's columns, worked out once for all its rows.
template <typename Pixel>
class StripPlan {
public:
    StripPlan(const LastPass& pass, const PixelRect& strip, UpscaleKernels permuting)
        : outputLeft_(ScaledPosition(strip.left, pass.geometry.outputWidth, pass.geometry.sourceWidth)),
          outputRight_(ScaledPosition(strip.right, pass.geometry.outputWidth, pass.geometry.sourceWidth)),
          standard_(pass.levels <= 1)
    {
        const uint32_t left = strip.left * pass.Cells();
        const uint32_t right = strip.right * pass.Cells();
        columns_ = {right - left, left == 0 ? 1u : 0u, right - left};
        if (right == pass.Width())
            --columns_.interiorEnd;
        if (columns_.interiorEnd < columns_.interiorBegin)
            columns_.interiorEnd = columns_.interiorBegin = columns_.count;
        AxisSteps steps(strip.left, pass.geometry.outputWidth, pass.geometry.sourceWidth, pass.levels);
        whole_ = steps.Whole();
        uint32_t widest = 0;
        for (uint32_t column = 0; column < columns_.count; ++column) {
            places_[column] = steps.Next();
            widest = std::max(widest, places_[column].first + places_[column].second);
        }
        if (widest <= 4 && OutputColumns() > 0)
            CutForPermuting(permuting);
        if (permuting_ == UpscaleKernels::Portable && standard_)
            PackGroups();
        else if (permuting_ == UpscaleKernels::Portable && OutputColumns() <= maxStripOutput)
            ListShownValues();
    }

    const StripColumns& Columns() const { return columns_; }
    ColumnWidths Widths() const
    {
        return {columns_.count, places_, columns_.interiorBegin, groupExtras_, chunks_.count ? &chunks_ : nullptr,
                listed_ ? shown_ : nullptr, OutputColumns()};
    }
    // The permuting level the chunks were cut for; Portable when they were not.
    UpscaleKernels Permuting() const { return permuting_; }
    // Whether the columns are laid out as one application lays them out, each
    // `Whole()` or `Whole()` + 1 wide.
    bool Standard() const { return standard_; }
    uint32_t Whole() const { return whole_; }
    // Whether every column shows its left value once and its right one once.
    bool Doubles() const { return standard_ && whole_ == 2 && OutputColumns() == 2 * columns_.count; }
    uint32_t OutputLeft() const { return outputLeft_; }
    uint32_t OutputColumns() const { return outputRight_ - outputLeft_; }

private:
    // For each count of first places up to four, a byte for each of four
    // places: 1 where the place shows the second value.
    static constexpr uint8_t secondPlaces[5][4] = {{1, 1, 1, 1}, {0, 1, 1, 1}, {0, 0, 1, 1}, {0, 0, 0, 1}, {}};

    // Columns are at most four output columns wide: each writes four places
    // at once, and the next one starts where its width ends.
    void CutForPermuting(UpscaleKernels permuting)
    {
        uint16_t sourceColumn[maxStripOutput + 3];
        uint8_t rightValue[maxStripOutput + 3];
        uint32_t output = 0;
        for (uint32_t column = 0; column < columns_.count; ++column) {
            const uint64_t fourTimes = column * 0x0001000100010001u;
            std::memcpy(sourceColumn + output, &fourTimes, sizeof(fourTimes));
            std::memcpy(rightValue + output, secondPlaces[places_[column].first], sizeof(secondPlaces[0]));
            output += places_[column].first + places_[column].second;
        }
        if (permuting == UpscaleKernels::Avx512 && CutIntoChunks<Avx512Chunks<Pixel>>(sourceColumn, rightValue))
            permuting_ = UpscaleKernels::Avx512;
        else if constexpr (sizeof(Pixel) > 1)
            if (permuting >= UpscaleKernels::Avx2 && CutIntoChunks<Avx2Chunks<Pixel>>(sourceColumn, rightValue))
                permuting_ = UpscaleKernels::Avx2;
    }

    void ListShownValues()
    {
        uint16_t* shown = shown_;
        for (uint32_t column = 0; column < columns_.count; ++column) {
            for (uint32_t place = 0; place < places_[column].first; ++place)
                *shown++ = static_cast<uint16_t>(2 * column);
            for (uint32_t place = 0; place < places_[column].second; ++place)
                *shown++ = static_cast<uint16_t>(2 * column + 1);
        }
        listed_ = true;
    }

    // Only the shuffling kernels read the packed groups.
    void PackGroups()
    {
        const uint32_t groupColumns = ShuffleGroupColumns(whole_, sizeof(Pixel));
        const uint32_t groups = groupColumns ? (columns_.count - columns_.interiorBegin) / groupColumns : 0;
        for (uint32_t group = 0; group < groups; ++group)
            groupExtras_[group] = PackGroup(places_ + columns_.interiorBegin + group * groupColumns, groupColumns);
    }

    // Each part reads the `partPixels` columns from its base: the columns from
    // the first one it shows, or the strip's last ones. A part whose pixels
    // lie further apart, where columns show nothing, cannot be cut.
    template <typename Chunks>
    bool CutIntoChunks(const uint16_t* sourceColumn, const uint8_t* rightValue)
    {
        const uint32_t output = OutputColumns();
        if (columns_.count < Chunks::partPixels || output < Chunks::pixels)
            return false;
        constexpr uint32_t partsPerChunk = Chunks::pixels / Chunks::partPixels;
        chunks_ = {(output + Chunks::pixels - 1) / Chunks::pixels,
                   output - Chunks::pixels,
                   partBase_,
                   control_,
                   OutputColumnsOf(0, columns_.interiorBegin),
                   OutputColumnsOf(columns_.interiorEnd, columns_.count),
                   false};
        const uint32_t widest = WidestPart<Chunks>(sourceColumn);
        if (widest > Chunks::partPixels) {
            chunks_ = {};
            return false;
        }
        chunks_.narrow = Chunks::mayBeNarrow && widest <= Chunks::partPixels - 2;
        const uint32_t lastBase = columns_.count - Chunks::partPixels + (chunks_.narrow ? 2 : 0);
        ForEachPart<Chunks>([&](uint32_t chunk, uint32_t part, uint32_t first) {
            const uint32_t base = std::min<uint32_t>(sourceColumn[first], lastBase);
            partBase_[chunk * partsPerChunk + part] = base;
            SetPartControl(Chunks(), control_ + chunk * Chunks::controlBytes, part * Chunks::partPixels,
                           sourceColumn + first, rightValue + first, base);
        });
        return true;
    }
    // Calls `part(chunk, part, first)` for each part of each chunk, `first`
    // its first output column.
    template <typename Chunks, typename PartFunction>
    void ForEachPart(PartFunction function) const
    {
        for (uint32_t chunk = 0; chunk < chunks_.count; ++chunk) {
            const uint32_t start = std::min(chunk * Chunks::pixels, chunks_.lastStart);
            for (uint32_t part = 0; part < Chunks::pixels / Chunks::partPixels; ++part)
                function(chunk, part, start + part * Chunks::partPixels);
        }
    }

    // The most source columns any part shows.
    template <typename Chunks>
    uint32_t WidestPart(const uint16_t* sourceColumn) const
    {
        uint32_t widest = 0;
        ForEachPart<Chunks>([&](uint32_t, uint32_t, uint32_t first) {
            widest = std::max<uint32_t>(widest, sourceColumn[first + Chunks::partPixels - 1] - sourceColumn[first] + 1);
        });
        return widest;
    }

    uint32_t OutputColumnsOf(uint32_t begin, uint32_t end) const
    {
        uint32_t output = 0;
        for (uint32_t column = begin; column < end; ++column)
            output += places_[column].first + places_[column].second;
        return output;
    }

    static void SetControl(Avx2Chunks<Pixel>, uint8_t* control, uint32_t lane, uint32_t offset, bool right)
    {
        if constexpr (sizeof(Pixel) == 4) {
            const uint32_t index = offset | (right ? 0x80000000u : 0u);
            std::memcpy(control + 4 * lane, &index, sizeof(index));
        } else {
            const uint8_t from = static_cast<uint8_t>(2 * offset);
            const uint8_t none = 0x80;
            control[2 * lane] = right ? none : from;
            control[2 * lane + 1] = right ? none : uint8_t(from + 1);
            control[32 + 2 * lane] = right ? from : none;
            control[32 + 2 * lane + 1] = right ? uint8_t(from + 1) : none;
        }
    }

    // The control of the part from lane `firstLane` on, whose lanes show
    // `sourceColumn` and `rightValue` from their first on.
    static void SetPartControl(Avx2Chunks<Pixel> chunks, uint8_t* control, uint32_t firstLane,
                               const uint16_t* sourceColumn, const uint8_t* rightValue, uint32_t base)
    {
        for (uint32_t lane = 0; lane < Avx2Chunks<Pixel>::partPixels; ++lane)
            SetControl(chunks, control, firstLane + lane, sourceColumn[lane] - base, rightValue[lane]);
    }

    static void SetPartControl(Avx512Chunks<Pixel>, uint8_t* control, uint32_t firstLane,
                               const uint16_t* sourceColumn, const uint8_t* rightValue, uint32_t base)
    {
        constexpr uint32_t lanes = Avx512Chunks<Pixel>::partPixels;
        Pixel indices[lanes];
        for (uint32_t lane = 0; lane < lanes; ++lane)
            indices[lane] = static_cast<Pixel>(sourceColumn[lane] - base + (rightValue[lane] ? lanes : 0));
        std::memcpy(control + sizeof(Pixel) * firstLane, indices, sizeof(indices));
    }

    uint8_t PackGroup(const BlockPlaces* places, uint32_t columns) const
    {
        uint8_t packed = 0;
        for (uint32_t column = 0; column < columns; ++column)
            packed |= static_cast<uint8_t>((places[column].first + places[column].second - whole_) << column);
        return packed;
    }

    StripColumns columns_;
    uint32_t outputLeft_;
    uint32_t outputRight_;
    bool standard_;
    uint32_t whole_;
    BlockPlaces places_[stripColumns];
    bool listed_ = false;
    OutputChunks chunks_ = {};
    UpscaleKernels permuting_ = UpscaleKernels::Portable;
    uint32_t partBase_[maxStripOutput / Avx2Chunks<Pixel>::partPixels];
    // A strip is laid out in one of three ways, whose tables share the room:
    // the chunks' controls, at most four bytes per output pixel in either
    // layout; the packed groups; the list of the values each place shows.
    union {
        alignas(64) uint8_t control_[maxStripOutput * 4];
        uint8_t groupExtras_[stripColumns];
        uint16_t shown_[maxStripOutput];
    };
};

// 16-bit rows are read where they are.
class SourceRows16 {
public:
    SourceRows16(const uint16_t* pixels, ptrdiff_t pitch, uint32_t left)
        : first_(reinterpret_cast<const uint8_t*>(pixels + left)), pitch_(pitch)
    {
    }

    const uint16_t* Row(uint32_t y) const
    {
        return reinterpret_cast<const uint16_t*>(first_ + ptrdiff_t(y) * pitch_);
    }

private:
    const uint8_t* first_;
    ptrdiff_t pitch_;
};

// Which rows `count` slots keep. Rows are asked for in rising order, so the
// lowest kept is the one to replace.
template <uint32_t count>
class KeptRows {
public:
    struct Slot {
        uint32_t index;
        bool kept;
    };

    // The slot that keeps `row`, or the one to make it in, which from then on
    // is said to keep it.
    Slot Find(uint32_t row)
    {
        uint32_t oldest = 0;
        for (uint32_t slot = 0; slot < count; ++slot) {
            if (keptRow_[slot] == row + 1)
                return {slot, true};
            if (keptRow_[slot] < keptRow_[oldest])
                oldest = slot;
        }
        keptRow_[oldest] = row + 1;
        return {oldest, false};
    }

private:
    // Row numbers plus one, 0 for an empty slot.
    uint32_t keptRow_[count] = {};
};

// 8-bit and 16-bit rows turned into 32-bit screen colours, or 8-bit ones into
// canonical indices (`Lookup`, Expand.h), once each, together with the columns beside the strip that its edge pixels
// read, and kept while the rows next to them still need them: the four a pair
// of rule rows reads. Rows are asked for in rising order, so the lowest row
// kept is the one to replace.
template <typename Lookup>
class ExpandedRows {
public:
    using Source = typename Lookup::Source;
    using Output = typename Lookup::Output;

    ExpandedRows(const Source* pixels, ptrdiff_t pitch, const Lookup& lookup, uint32_t frameWidth,
                 const PixelRect& strip)
        : pixels_(reinterpret_cast<const uint8_t*>(pixels)),
          pitch_(pitch),
          lookup_(lookup),
          firstColumn_(strip.left == 0 ? 0 : strip.left - 1),
          endColumn_(strip.right == frameWidth ? frameWidth : strip.right + 1),
          skipped_(strip.left == 0 ? 1 : 0)
    {
    }

    const Output* Row(uint32_t y)
    {
        const auto slot = kept_.Find(y);
        if (!slot.kept)
            Expand(y, rows_[slot.index] + firstColumn - 1 + skipped_);
        return rows_[slot.index] + firstColumn;
    }

private:
    static constexpr uint32_t rowCount = 4;

    void Expand(uint32_t y, Output* out) const
    {
        const Source* row = reinterpret_cast<const Source*>(pixels_ + ptrdiff_t(y) * pitch_);
        lookup_.Row(row + firstColumn_, endColumn_ - firstColumn_, out);
    }

    const uint8_t* pixels_;
    ptrdiff_t pitch_;
    const Lookup& lookup_;
    uint32_t firstColumn_;
    uint32_t endColumn_;
    uint32_t skipped_;
    KeptRows<rowCount> kept_;
    // The strip's first column is 64-byte aligned, the column left of it is
    // just before; the vector rule may read that column also where the strip
    // starts the frame, and finds it cleared.
    static constexpr uint32_t firstColumn = 64 / sizeof(Output);
    alignas(64) Output rows_[rowCount][firstColumn + stripColumns + firstColumn] = {};
};

// Block rows from a rule kernel and a spread kernel, one half at a time.
template <typename Pixel, RuleRowKernel<Pixel> rule, SpreadRowKernel<Pixel> spread>
void BlockRowsInTurn(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
                     Pixel* upper, Pixel* lower, RuleValues<Pixel>& values)
{
    rule(rows, columns, values.upperLeft, values.upperRight);
    spread(values.upperLeft, values.upperRight, widths, upper);
    if (lower) {
        rule({rows.opposite, rows.current, rows.vertical}, columns, values.lowerLeft, values.lowerRight);
        spread(values.lowerLeft, values.lowerRight, widths, lower);
    }
}

// Palette indices are laid out by the AVX-512 kernels alone, which the strips
// a frame's width gives mostly are; a narrow rectangle's take the portable ones.
template <typename Pixel>
RowKernels<Pixel> ChooseKernels(const StripPlan<Pixel>& plan)
{
    const bool doubles = plan.Doubles();
    if (plan.Permuting() == UpscaleKernels::Avx512 && doubles && plan.Columns().count >= Avx512Chunks<Pixel>::pixels)
        return DoublingKernelsAvx512<Pixel>(plan.Widths().chunks->narrow);
    if (plan.Permuting() == UpscaleKernels::Avx512)
        return PermutingKernelsAvx512<Pixel>(plan.Widths().chunks->narrow);
    if constexpr (sizeof(Pixel) == 1) {
        return {BlockRowsInTurn<Pixel, RuleRowPortable<Pixel>, SpreadRowPortable<Pixel>>, SpreadRowPortable<Pixel>};
    } else {
        if (plan.Permuting() == UpscaleKernels::Avx2 && doubles && plan.Columns().count >= Avx2Chunks<Pixel>::pixels)
            return DoublingKernelsAvx2<Pixel>();
        if (plan.Permuting() == UpscaleKernels::Avx2)
            return PermutingKernelsAvx2<Pixel>();
        if (selectedKernels >= UpscaleKernels::Ssse3 && plan.Standard()) {
            const RowKernels<Pixel> shuffling = ShufflingKernelsFor<Pixel>(plan.Whole());
            if (shuffling.blockRows)
                return shuffling;
        }
        if (selectedKernels != UpscaleKernels::Portable)
            return {BlockRowsInTurn<Pixel, RuleRowSse2<Pixel>, SpreadRowPortable<Pixel>>, SpreadRowPortable<Pixel>};
        return {BlockRowsInTurn<Pixel, RuleRowPortable<Pixel>, SpreadRowPortable<Pixel>>, SpreadRowPortable<Pixel>};
    }
}

UpscaleKernels PermutingFor(const LastPass& pass)
{
    return selectedKernels >= UpscaleKernels::Avx2 && pass.levels > 0 ? selectedKernels : UpscaleKernels::Portable;
}

// The rows of the rule's output at exactly twice the size of the `Inner` rows
// it is made from: row r is the upper or the lower output row of inner row
// r / 2, from its column `left` on, with the columns beside the strip that the
// rule's next application reads. Both rows of an inner row are made together
// and kept while the rows next to them may still be asked for; rows are asked
// for in rising order, at most three inner rows' worth at a time, so the
// lowest kept is the one to replace.
template <typename Pixel, typename Inner>
class DoubledRows {
public:
    template <typename MakeInner>
    DoubledRows(const MakeInner& makeInner, const ScaleGeometry& doubling, uint32_t left, uint32_t right,
                RuleValues<Pixel>& scratch)
        : DoubledRows(makeInner, doubling, InnerStrip(doubling, left, right), left, scratch)
    {
    }

    const Pixel* Row(uint32_t row)
    {
        const auto slot = kept_.Find(row / 2);
        if (!slot.kept)
            Make(row / 2, rows_[slot.index][0] + margin, rows_[slot.index][1] + margin);
        return rows_[slot.index][row % 2] + margin + offset_;
    }

private:
    template <typename MakeInner>
    DoubledRows(const MakeInner& makeInner, const ScaleGeometry& doubling, const PixelRect& innerStrip,
                uint32_t left, RuleValues<Pixel>& scratch)
        : inner_(makeInner(innerStrip)),
          pass_{doubling, 1},
          plan_(pass_, innerStrip, PermutingFor(pass_)),
          kernels_(ChooseKernels(plan_)),
          offset_(left - 2 * innerStrip.left),
          scratch_(scratch)
    {
    }

    static constexpr uint32_t slotCount = 3;
    // Room for the strip and the columns beside it, and for the vector rule
    // to read cleared pixels beyond a frame's edge.
    static constexpr uint32_t margin = 16;
    static constexpr uint32_t rowLength = margin + stripColumns + 8 + margin;

    // The inner columns whose blocks hold this strip's columns and the one
    // beside each end.
    static PixelRect InnerStrip(const ScaleGeometry& doubling, uint32_t left, uint32_t right)
    {
        return {left > 0 ? (left - 1) / 2 : 0, 0, std::min(doubling.sourceWidth, right / 2 + 1),
                doubling.sourceHeight};
    }

    void Make(uint32_t innerRow, Pixel* upper, Pixel* lower)
    {
        if (innerRow == 0 || innerRow + 1 == pass_.geometry.sourceHeight) {
            const Pixel* current = inner_.Row(innerRow);
            kernels_.spread(current, current, plan_.Widths(), upper);
            std::memcpy(lower, upper, plan_.OutputColumns() * sizeof(Pixel));
            return;
        }
        const Pixel* above = inner_.Row(innerRow - 1);
        const Pixel* current = inner_.Row(innerRow);
        kernels_.blockRows({above, current, inner_.Row(innerRow + 1)}, plan_.Columns(), plan_.Widths(), upper, lower,
                           scratch_);
    }

    Inner inner_;
    LastPass pass_;
    StripPlan<Pixel> plan_;
    RowKernels<Pixel> kernels_;
    uint32_t offset_;
    RuleValues<Pixel>& scratch_;
    KeptRows<slotCount> kept_;
    alignas(64) Pixel rows_[slotCount][2][rowLength] = {};
};

// Where a strip's output rows go: `row` is the strip's first output column in
// the output row to be written next.
struct StripOutput {
    uint8_t* row;
    ptrdiff_t pitch;
    size_t rowBytes;
};

void RepeatRow(const StripOutput& output, uint32_t count)
{
    for (uint32_t copy = 1; copy < count; ++copy)
        std::memcpy(output.row + ptrdiff_t(copy) * output.pitch, output.row, output.rowBytes);
}

StripOutput RowsBelow(const StripOutput& output, uint32_t rows)
{
    return {output.row + ptrdiff_t(rows) * output.pitch, output.pitch, output.rowBytes};
}

// The rows the kernels write an output row's pixels into: the output's own,
// or, where the rule works on values narrower than the output's (canonical
// palette indices, RGB565 pixels for a 32-bit screen), rows of those set
// aside, up to four at once, that `Widen` widens into the output, each once.
template <typename OutputPixel>
struct OwnRows {
    using Pixel = OutputPixel;
    static constexpr size_t outputBytes = sizeof(OutputPixel);

    Pixel* Row(const StripOutput& out, uint32_t) { return reinterpret_cast<Pixel*>(out.row); }
    void Finish(const StripOutput&, uint32_t, uint32_t) const {}
};

template <typename Widen>
class WidenedRows {
public:
    using Pixel = typename Widen::Source;
    using Output = typename Widen::Output;
    static constexpr size_t outputBytes = sizeof(Output);

    explicit WidenedRows(const Widen& widen) : widen_(widen) {}

    Pixel* Row(const StripOutput&, uint32_t slot) { return rows_[slot]; }

    void Finish(const StripOutput& out, uint32_t slot, uint32_t columns) const
    {
        widen_.Row(rows_[slot], columns, reinterpret_cast<Output*>(out.row));
    }

private:
    const Widen& widen_;
    alignas(64) Pixel rows_[4][maxStripOutput];
};

// A block row's output: its upper rows, then its lower ones, made in the
// rows `Rows` gives from `slot` on.
template <typename Rows>
struct BlockOutput {
    using Pixel = typename Rows::Pixel;

    StripOutput upper;
    StripOutput lower;
    BlockPlaces rows;
    uint32_t slot;

    Pixel* UpperRow(Rows& made) const { return rows.first ? made.Row(upper, slot) : nullptr; }
    Pixel* LowerRow(Rows& made) const { return rows.second ? made.Row(lower, slot + 1) : nullptr; }

    void Finish(const Rows& made, uint32_t columns) const
    {
        if (rows.first) {
            made.Finish(upper, slot, columns);
            RepeatRow(upper, rows.first);
        }
        if (rows.second) {
            made.Finish(lower, slot + 1, columns);
            RepeatRow(lower, rows.second);
        }
    }
};

template <typename Rows>
BlockOutput<Rows> BlockOutputOf(const StripOutput& out, BlockPlaces rows, uint32_t slot)
{
    return {out, RowsBelow(out, rows.first), rows, slot};
}

uint32_t Total(BlockPlaces places)
{
    return places.first + places.second;
}

template <typename Pixel>
NeighbourRows<Pixel> UpsideDown(const NeighbourRows<Pixel>& rows)
{
    return {rows.opposite, rows.current, rows.vertical};
}

// One source row's blocks. Blocks that show only their lower halves are
// written by the rule for the upper ones read upside down.
template <typename Rows, typename SourceRows, typename Pixel = typename Rows::Pixel>
StripOutput WriteRuleRows(const RowKernels<Pixel>& kernels, SourceRows& source, uint32_t y, BlockPlaces places,
                          const StripPlan<Pixel>& plan, const StripOutput& out, Rows& made, RuleValues<Pixel>& values)
{
    if (Total(places) == 0)
        return out;
    const Pixel* above = source.Row(y - 1);
    const Pixel* current = source.Row(y);
    const NeighbourRows<Pixel> rows = {above, current, source.Row(y + 1)};
    const BlockOutput<Rows> block = BlockOutputOf<Rows>(out, places, 0);
    if (places.first)
        kernels.blockRows(rows, plan.Columns(), plan.Widths(), block.UpperRow(made), block.LowerRow(made), values);
    else
        kernels.blockRows(UpsideDown(rows), plan.Columns(), plan.Widths(), block.LowerRow(made), nullptr, values);
    block.Finish(made, plan.OutputColumns());
    return RowsBelow(out, Total(places));
}

// Two source rows' blocks in one pass, where both show their upper halves or
// neither does; the pair read upside down gives the lower halves as upper
// ones, the second row's first.
template <typename Rows, typename SourceRows, typename Pixel = typename Rows::Pixel>
StripOutput WriteRuleRowPair(const RowKernels<Pixel>& kernels, SourceRows& source, uint32_t y, BlockPlaces first,
                             BlockPlaces second, const StripPlan<Pixel>& plan, const StripOutput& out, Rows& made,
                             RuleValues<Pixel>& values)
{
    if (Total(first) == 0 || Total(second) == 0 || (first.first == 0) != (second.first == 0))
        return WriteRuleRows(kernels, source, y + 1, second, plan,
                             WriteRuleRows(kernels, source, y, first, plan, out, made, values), made, values);
    const Pixel* above = source.Row(y - 1);
    const Pixel* current = source.Row(y);
    const Pixel* next = source.Row(y + 1);
    const RowPair<Pixel> rows = {above, current, next, source.Row(y + 2)};
    const BlockOutput<Rows> upper = BlockOutputOf<Rows>(out, first, 0);
    const BlockOutput<Rows> lower = BlockOutputOf<Rows>(RowsBelow(out, Total(first)), second, 2);
    if (first.first)
        kernels.blockRowPairs(rows, plan.Columns(), plan.Widths(),
                              {upper.UpperRow(made), upper.LowerRow(made), lower.UpperRow(made), lower.LowerRow(made)});
    else
        kernels.blockRowPairs({rows.below, rows.second, rows.first, rows.above}, plan.Columns(), plan.Widths(),
                              {lower.LowerRow(made), nullptr, upper.LowerRow(made), nullptr});
    upper.Finish(made, plan.OutputColumns());
    lower.Finish(made, plan.OutputColumns());
    return RowsBelow(out, Total(first) + Total(second));
}

template <typename Rows, typename Pixel>
StripOutput FirstOutputRow(const ScaleGeometry& geometry, const PixelRect& strip, const StripPlan<Pixel>& plan,
                           uint8_t* output)
{
    const uint32_t outputTop = ScaledPosition(strip.top, geometry.outputHeight, geometry.sourceHeight);
    return {output + ptrdiff_t(outputTop) * geometry.outputPitch + ptrdiff_t(plan.OutputLeft() * Rows::outputBytes),
            geometry.outputPitch, plan.OutputColumns() * Rows::outputBytes};
}

// The rows of the last pass's image that a strip of source rows covers. Rows
// are paired within a source row's block, where their places are alike.
template <typename Rows, typename SourceRows, typename Pixel = typename Rows::Pixel>
void ScaleStripRows(SourceRows& source, const LastPass& pass, const PixelRect& strip, const StripPlan<Pixel>& plan,
                    StripOutput out, Rows& made, RuleValues<Pixel>& values)
{
    const ScaleGeometry& geometry = pass.geometry;
    const RowKernels<Pixel> kernels = ChooseKernels(plan);
    const uint32_t height = pass.Height();
    const uint32_t end = strip.bottom * pass.Cells();
    AxisSteps steps(strip.top, geometry.outputHeight, geometry.sourceHeight, pass.levels);
    for (uint32_t y = strip.top * pass.Cells(); y < end; ++y) {
        const BlockPlaces places = steps.Next();
        if (pass.levels == 0 || y == 0 || y + 1 == height) {
            if (Total(places) == 0)
                continue;
            const Pixel* current = source.Row(y);
            kernels.spread(current, current, plan.Widths(), made.Row(out, 0));
            made.Finish(out, 0, plan.OutputColumns());
            RepeatRow(out, Total(places));
            out = RowsBelow(out, Total(places));
        } else if (kernels.blockRowPairs && y + 1 < end && y + 2 < height && (pass.Cells() == 1 || y % 2 == 0)) {
            out = WriteRuleRowPair(kernels, source, y, places, steps.Next(), plan, out, made, values);
            ++y;
        } else {
            out = WriteRuleRows(kernels, source, y, places, plan, out, made, values);
        }
    }
}

template <typename Rows, typename SourceRows, typename Pixel = typename Rows::Pixel>
void ScaleStrip(SourceRows& source, const LastPass& pass, const PixelRect& strip, Rows& made, uint8_t* output,
                RuleValues<Pixel>& values)
{
    const StripPlan<Pixel> plan(pass, strip, PermutingFor(pass));
    ScaleStripRows(source, pass, strip, plan, FirstOutputRow<Rows>(pass.geometry, strip, plan, output), made, values);
}

// One strip of source columns, from the rows `makeRows` gives for a strip of
// them, doubled by the rule before the last pass where it is applied more
// than once. The passes never run at once, so they share one scratch.
template <typename Rows, typename MakeRows>
void ScaleOnLevels(const ScaleGeometry& geometry, uint32_t levels, const PixelRect& strip, const MakeRows& makeRows,
                   Rows& made, uint8_t* output)
{
    using Pixel = typename Rows::Pixel;
    using Source = decltype(makeRows(strip));
    RuleValues<Pixel> values;
    const LastPass pass = {geometry, levels};
    const uint32_t left = strip.left * pass.Cells();
    const uint32_t right = strip.right * pass.Cells();
    const ScaleGeometry once = Doubling(geometry.sourceWidth, geometry.sourceHeight);
    if (levels == 2) {
        DoubledRows<Pixel, Source> rows(makeRows, once, left, right, values);
        ScaleStrip(rows, pass, strip, made, output, values);
    } else if (levels == 3) {
        const auto makeDoubled = [&](const PixelRect& columns) {
            return DoubledRows<Pixel, Source>(makeRows, once, columns.left, columns.right, values);
        };
        DoubledRows<Pixel, DoubledRows<Pixel, Source>> rows(makeDoubled,
                                                            Doubling(once.outputWidth, once.outputHeight), left,
                                                            right, values);
        ScaleStrip(rows, pass, strip, made, output, values);
    } else {
        Source rows = makeRows(strip);
        ScaleStrip(rows, pass, strip, made, output, values);
    }
}

// The source columns of a strip: as many as the buffers of a row of the last
// pass's image hold.
uint32_t StripSourceColumns(uint32_t levels)
{
    return stripColumns / CellsPerSourcePixel(levels);
}

// Strips bound the buffers a row needs, so any frame width is served without
// allocating; each strip writes its own output columns.
template <typename Rows, typename MakeRows>
void ScaleRect(const ScaleGeometry& geometry, const PixelRect& rect, const MakeRows& makeRows, Rows& made,
               void* output)
{
    if (rect.top == rect.bottom)
        return;
    const uint32_t levels = RuleLevels(geometry);
    const uint32_t columns = StripSourceColumns(levels);
    for (uint32_t left = rect.left; left < rect.right;) {
        const uint32_t right = rect.right - left > columns ? left + columns : rect.right;
        ScaleOnLevels(geometry, levels, PixelRect{left, rect.top, right, rect.bottom}, makeRows, made,
                      static_cast<uint8_t*>(output));
        left = right;
    }
}

template <typename Pixel, typename MakeRows>
void ScaleRectInPlace(const ScaleGeometry& geometry, const PixelRect& rect, const MakeRows& makeRows, Pixel* output)
{
    OwnRows<Pixel> own;
    ScaleRect(geometry, rect, makeRows, own, output);
}

// Beyond 2x, where the rule is applied more than once, it works on the
// narrower values: a vector holds four palette indices, or two RGB565 pixels,
// for each screen colour, which outweighs widening each output row rather
// than each source row. Up to 2x either way costs about the same. Every
// strip's output row must fit the rows set aside for it.
bool WidenAfterwards(const ScaleGeometry& geometry)
{
    const uint32_t levels = RuleLevels(geometry);
    const uint64_t widestOutput = uint64_t(StripSourceColumns(levels)) * geometry.outputWidth / geometry.sourceWidth + 1;
    return levels > 1 && widestOutput <= maxStripOutput;
}

template <typename Widen, typename MakeRows>
void ScaleRectWidened(const ScaleGeometry& geometry, const PixelRect& rect, const MakeRows& makeRows,
                      const Widen& widen, uint32_t* output)
{
    WidenedRows<Widen> widened(widen);
    ScaleRect(geometry, rect, makeRows, widened, output);
}

PixelRect WholeFrame(const ScaleGeometry& geometry)
{
    return {0, 0, geometry.sourceWidth, geometry.sourceHeight};
}

template <typename Lookup>
auto ExpandedRowsOf(const typename Lookup::Source* sourcePixels, const Lookup& lookup, const ScaleGeometry& geometry)
{
    return [sourcePixels, &lookup, &geometry](const PixelRect& strip) {
        return ExpandedRows<Lookup>(sourcePixels, geometry.sourcePitch, lookup, geometry.sourceWidth, strip);
    };
}

auto SourceRows16Of(const uint16_t* sourcePixels, const ScaleGeometry& geometry)
{
    return [sourcePixels, &geometry](const PixelRect& strip) {
        return SourceRows16(sourcePixels, geometry.sourcePitch, strip.left);
    };
}

}

void ScaleFrame8(const uint8_t* sourcePixels, const uint32_t* screenColours, uint32_t* output,
                 const ScaleGeometry& geometry)
{
    ScaleRect8(sourcePixels, screenColours, output, geometry, WholeFrame(geometry));
}

void ScaleRect8(const uint8_t* sourcePixels, const uint32_t* screenColours, uint32_t* output,
                const ScaleGeometry& geometry, const PixelRect& rect)
{
    const PaletteLookup lookup(screenColours);
    // Canonical indices need the AVX-512 byte permutes to be laid out fast.
    if (selectedKernels == UpscaleKernels::Avx512 && WidenAfterwards(geometry)) {
        const CanonicalIndices canonical(screenColours);
        ScaleRectWidened(geometry, rect, ExpandedRowsOf(sourcePixels, canonical, geometry), lookup, output);
        return;
    }
    ScaleRectInPlace(geometry, rect, ExpandedRowsOf(sourcePixels, lookup, geometry), output);
}

void ScaleFrame16(const uint16_t* sourcePixels, uint16_t* output, const ScaleGeometry& geometry)
{
    ScaleRect16(sourcePixels, output, geometry, WholeFrame(geometry));
}

void ScaleRect16(const uint16_t* sourcePixels, uint16_t* output, const ScaleGeometry& geometry,
                 const PixelRect& rect)
{
    ScaleRectInPlace(geometry, rect, SourceRows16Of(sourcePixels, geometry), output);
}

void ScaleFrame16To32(const uint16_t* sourcePixels, uint32_t* output, const ScaleGeometry& geometry)
{
    ScaleRect16To32(sourcePixels, output, geometry, WholeFrame(geometry));
}

void ScaleRect16To32(const uint16_t* sourcePixels, uint32_t* output, const ScaleGeometry& geometry,
                     const PixelRect& rect)
{
    const Rgb565Widening widening;
    // Below the shuffling kernels, the rule costs as much on either width.
    if (selectedKernels >= UpscaleKernels::Ssse3 && WidenAfterwards(geometry))
        ScaleRectWidened(geometry, rect, SourceRows16Of(sourcePixels, geometry), widening, output);
    else
        ScaleRectInPlace(geometry, rect, ExpandedRowsOf(sourcePixels, widening, geometry), output);
}

PixelRect ScaledArea(const ScaleGeometry& geometry, const PixelRect& rect)
{
    return {ScaledPosition(rect.left, geometry.outputWidth, geometry.sourceWidth),
            ScaledPosition(rect.top, geometry.outputHeight, geometry.sourceHeight),
            ScaledPosition(rect.right, geometry.outputWidth, geometry.sourceWidth),
            ScaledPosition(rect.bottom, geometry.outputHeight, geometry.sourceHeight)};
}

UpscaleKernels BestUpscaleKernels()
{
    if (ProcessorHasAvx512())
        return UpscaleKernels::Avx512;
    if (ProcessorHasAvx2())
        return UpscaleKernels::Avx2;
    if (ProcessorHasSsse3())
        return UpscaleKernels::Ssse3;
    if (ProcessorHasSse2())
        return UpscaleKernels::Sse2;
    return UpscaleKernels::Portable;
}

void SelectUpscaleKernels(UpscaleKernels kernels)
{
    selectedKernels = kernels;
}

UpscaleKernels SelectedUpscaleKernels()
{
    return selectedKernels;
}

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
// doubled columns. A wider block repeats the rule's left value over its first
// (larger) half and its right value over the rest, so 2x is plain Scale2x; rows
// likewise, the upper values over the top half. An output narrower or shorter
// than the source has blocks 0 or 1 wide, where the rule means nothing: every
// pixel shown is then the source pixel itself.

namespace {

UpscaleKernels selectedKernels = BestUpscaleKernels();

uint32_t ScaledPosition(uint32_t position, uint32_t output, uint32_t source)
{
    return static_cast<uint32_t>(uint64_t(position) * output / source);
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

// The widths of a strip's columns, worked out once for all its rows.
template <typename Pixel>
class StripPlan {
public:
    StripPlan(const ScaleGeometry& geometry, const PixelRect& strip, UpscaleKernels permuting)
        : columns_{strip.right - strip.left, strip.left == 0 ? 1u : 0u, strip.right - strip.left},
          outputLeft_(ScaledPosition(strip.left, geometry.outputWidth, geometry.sourceWidth)),
          outputRight_(ScaledPosition(strip.right, geometry.outputWidth, geometry.sourceWidth))
    {
        if (strip.right == geometry.sourceWidth)
            --columns_.interiorEnd;
        if (columns_.interiorEnd < columns_.interiorBegin)
            columns_.interiorEnd = columns_.interiorBegin = columns_.count;
        BlockStepper stepper(strip.left, geometry.outputWidth, geometry.sourceWidth);
        whole_ = stepper.Whole();
        for (uint32_t column = 0; column < columns_.count; ++column)
            extra_[column] = stepper.NextExtra();
        if (whole_ >= 1 && whole_ <= 3)
            CutForPermuting(permuting);
        if (permuting_ == UpscaleKernels::Portable)
            PackGroups();
    }

    const StripColumns& Columns() const { return columns_; }
    ColumnWidths Widths() const
    {
        return {columns_.count, whole_, extra_, columns_.interiorBegin, groupExtras_,
                chunks_.count ? &chunks_ : nullptr};
    }
    // The permuting level the chunks were cut for; Portable when they were not.
    UpscaleKernels Permuting() const { return permuting_; }
    uint32_t OutputLeft() const { return outputLeft_; }
    uint32_t OutputColumns() const { return outputRight_ - outputLeft_; }

private:
    static constexpr uint32_t maxOutputColumns = 4 * stripColumns;
    // For each width up to four, a byte for each of its places: 1 where the
    // place shows the right value, from place (width + 1) / 2 on.
    static constexpr uint8_t rightPlaces[5][4] = {{}, {0, 1, 1, 1}, {0, 1, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}};

    void CutForPermuting(UpscaleKernels permuting)
    {
        if (permuting == UpscaleKernels::Avx512 && Fits<Avx512Chunks<Pixel>>()) {
            CutIntoChunks<Avx512Chunks<Pixel>>();
            permuting_ = UpscaleKernels::Avx512;
        } else if (permuting >= UpscaleKernels::Avx2 && Fits<Avx2Chunks<Pixel>>()) {
            CutIntoChunks<Avx2Chunks<Pixel>>();
            permuting_ = UpscaleKernels::Avx2;
        }
    }

    // Only the shuffling kernels read the packed groups.
    void PackGroups()
    {
        const uint32_t groupColumns = ShuffleGroupColumns(whole_, sizeof(Pixel));
        const uint32_t groups = groupColumns ? (columns_.count - columns_.interiorBegin) / groupColumns : 0;
        for (uint32_t group = 0; group < groups; ++group)
            groupExtras_[group] = PackGroup(extra_ + columns_.interiorBegin + group * groupColumns, groupColumns);
    }

    // Each part reads the columns from the first one it shows, or the strip's
    // last ones: its pixels lie at most a part's width apart, since every
    // column is at least one output column wide.
    template <typename Chunks>
    void CutIntoChunks()
    {
        // Columns are at most four output columns wide: each writes four
        // places at once, and the next one starts where its width ends.
        uint16_t sourceColumn[maxOutputColumns + 3];
        uint8_t rightValue[maxOutputColumns + 3];
        uint32_t output = 0;
        for (uint32_t column = 0; column < columns_.count; ++column) {
            const uint32_t width = whole_ + extra_[column];
            const uint64_t fourTimes = column * 0x0001000100010001u;
            std::memcpy(sourceColumn + output, &fourTimes, sizeof(fourTimes));
            std::memcpy(rightValue + output, rightPlaces[width], sizeof(rightPlaces[width]));
            output += width;
        }
        constexpr uint32_t partsPerChunk = Chunks::pixels / Chunks::partPixels;
        chunks_ = {(output + Chunks::pixels - 1) / Chunks::pixels,
                   output - Chunks::pixels,
                   partBase_,
                   control_,
                   OutputColumnsOf(0, columns_.interiorBegin),
                   OutputColumnsOf(columns_.interiorEnd, columns_.count),
                   false};
        chunks_.narrow = Chunks::mayBeNarrow && WidestPart<Chunks>(sourceColumn) <= Chunks::partPixels - 2;
        const uint32_t lastBase = columns_.count - Chunks::partPixels + (chunks_.narrow ? 2 : 0);
        ForEachPart<Chunks>([&](uint32_t chunk, uint32_t part, uint32_t first) {
            const uint32_t base = std::min<uint32_t>(sourceColumn[first], lastBase);
            partBase_[chunk * partsPerChunk + part] = base;
            SetPartControl(Chunks(), control_ + chunk * Chunks::controlBytes, part * Chunks::partPixels,
                           sourceColumn + first, rightValue + first, base);
        });
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
            output += whole_ + extra_[column];
        return output;
    }

    template <typename Chunks>
    bool Fits() const
    {
        return columns_.count >= Chunks::partPixels && OutputColumns() >= Chunks::pixels;
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

    static uint8_t PackGroup(const uint8_t* extra, uint32_t columns)
    {
        uint8_t packed = 0;
        for (uint32_t column = 0; column < columns; ++column)
            packed |= static_cast<uint8_t>(extra[column] << column);
        return packed;
    }

    StripColumns columns_;
    uint32_t outputLeft_;
    uint32_t outputRight_;
    uint32_t whole_;
    uint8_t extra_[stripColumns];
    uint8_t groupExtras_[stripColumns];
    OutputChunks chunks_ = {};
    UpscaleKernels permuting_ = UpscaleKernels::Portable;
    // At most four control bytes per output pixel, in either layout.
    uint32_t partBase_[maxOutputColumns / Avx2Chunks<Pixel>::partPixels];
    alignas(64) uint8_t control_[maxOutputColumns * 4];
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

// 8-bit and 16-bit rows turned into 32-bit screen colours (`Lookup`, Expand.h)
// once each, together with the columns beside the strip that its edge pixels
// read, and kept while the rows next to them still need them: the four a pair
// of rule rows reads. Rows are asked for in rising order, so the lowest row
// kept is the one to replace.
template <typename Lookup>
class ExpandedRows {
public:
    using Source = typename Lookup::Source;

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

    const uint32_t* Row(uint32_t y)
    {
        uint32_t oldest = 0;
        for (uint32_t slot = 0; slot < rowCount; ++slot) {
            if (keptRow_[slot] == y + 1)
                return rows_[slot] + firstColumn;
            if (keptRow_[slot] < keptRow_[oldest])
                oldest = slot;
        }
        Expand(y, rows_[oldest] + firstColumn - 1 + skipped_);
        keptRow_[oldest] = y + 1;
        return rows_[oldest] + firstColumn;
    }

private:
    static constexpr uint32_t rowCount = 4;

    void Expand(uint32_t y, uint32_t* out) const
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
    // Slot column 0 is the column left of the strip; row numbers plus one, 0
    // for an empty slot.
    uint32_t keptRow_[rowCount] = {};
    // The strip's first column is 64-byte aligned, the column left of it is
    // just before; the vector rule may read that column also where the strip
    // starts the frame, and finds it cleared.
    static constexpr uint32_t firstColumn = 16;
    alignas(64) uint32_t rows_[rowCount][firstColumn + stripColumns + 16] = {};
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

template <typename Pixel>
RowKernels<Pixel> ChooseKernels(const StripPlan<Pixel>& plan)
{
    if (plan.Permuting() == UpscaleKernels::Avx512)
        return PermutingKernelsAvx512<Pixel>(plan.Widths().chunks->narrow);
    if (plan.Permuting() == UpscaleKernels::Avx2)
        return PermutingKernelsAvx2<Pixel>();
    if (selectedKernels >= UpscaleKernels::Ssse3) {
        const RowKernels<Pixel> shuffling = ShufflingKernelsFor<Pixel>(plan.Widths().whole);
        if (shuffling.blockRows)
            return shuffling;
    }
    if (selectedKernels != UpscaleKernels::Portable)
        return {BlockRowsInTurn<Pixel, RuleRowSse2<Pixel>, SpreadRowPortable<Pixel>>, SpreadRowPortable<Pixel>};
    return {BlockRowsInTurn<Pixel, RuleRowPortable<Pixel>, SpreadRowPortable<Pixel>>, SpreadRowPortable<Pixel>};
}

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

uint8_t* RowBelow(const StripOutput& output, uint32_t rows)
{
    return output.row + ptrdiff_t(rows) * output.pitch;
}

// A block row's output: its upper rows, then its lower ones (none when the
// block is one row high).
struct BlockOutput {
    StripOutput upper;
    StripOutput lower;
    uint32_t upperRows;
    uint32_t lowerRows;

    template <typename Pixel>
    Pixel* UpperRow() const
    {
        return reinterpret_cast<Pixel*>(upper.row);
    }

    template <typename Pixel>
    Pixel* LowerRow() const
    {
        return lowerRows ? reinterpret_cast<Pixel*>(lower.row) : nullptr;
    }

    void RepeatRows() const
    {
        RepeatRow(upper, upperRows);
        RepeatRow(lower, lowerRows);
    }
};

// The upper rows of a block take the rule's upper values, the lower rows the
// lower values.
BlockOutput BlockOutputOf(const StripOutput& out, uint32_t height)
{
    const uint32_t upperRows = (height + 1) / 2;
    return {out, {RowBelow(out, upperRows), out.pitch, out.rowBytes}, upperRows, height - upperRows};
}

template <typename Pixel>
void WriteRuleRows(const RowKernels<Pixel>& kernels, const NeighbourRows<Pixel>& rows, const StripPlan<Pixel>& plan,
                   const StripOutput& out, uint32_t height, RuleValues<Pixel>& values)
{
    const BlockOutput block = BlockOutputOf(out, height);
    kernels.blockRows(rows, plan.Columns(), plan.Widths(), block.UpperRow<Pixel>(), block.LowerRow<Pixel>(), values);
    block.RepeatRows();
}

template <typename Pixel>
void WriteRuleRowPair(const RowKernels<Pixel>& kernels, const RowPair<Pixel>& rows, const StripPlan<Pixel>& plan,
                      const StripOutput& out, uint32_t firstHeight, uint32_t secondHeight)
{
    const BlockOutput first = BlockOutputOf(out, firstHeight);
    const BlockOutput second = BlockOutputOf({RowBelow(out, firstHeight), out.pitch, out.rowBytes}, secondHeight);
    kernels.blockRowPairs(rows, plan.Columns(), plan.Widths(),
                          {first.UpperRow<Pixel>(), first.LowerRow<Pixel>(), second.UpperRow<Pixel>(),
                           second.LowerRow<Pixel>()});
    first.RepeatRows();
    second.RepeatRows();
}

template <typename Pixel>
StripOutput FirstOutputRow(const ScaleGeometry& geometry, const PixelRect& strip, const StripPlan<Pixel>& plan,
                           Pixel* output)
{
    const uint32_t outputTop = ScaledPosition(strip.top, geometry.outputHeight, geometry.sourceHeight);
    return {reinterpret_cast<uint8_t*>(output) + ptrdiff_t(outputTop) * geometry.outputPitch +
                ptrdiff_t(plan.OutputLeft()) * ptrdiff_t(sizeof(Pixel)),
            geometry.outputPitch, plan.OutputColumns() * sizeof(Pixel)};
}

bool RuleApplies(const ScaleGeometry& geometry)
{
    return geometry.outputWidth >= geometry.sourceWidth && geometry.outputHeight >= geometry.sourceHeight;
}

template <typename Pixel, typename SourceRows>
void ScaleStripRows(SourceRows& source, const ScaleGeometry& geometry, const PixelRect& strip,
                    const StripPlan<Pixel>& plan, StripOutput out)
{
    const ColumnWidths widths = plan.Widths();
    const RowKernels<Pixel> kernels = ChooseKernels(plan);
    const bool ruleApplies = RuleApplies(geometry);
    RuleValues<Pixel> values;
    BlockStepper rows(strip.top, geometry.outputHeight, geometry.sourceHeight);
    for (uint32_t y = strip.top; y < strip.bottom; ++y) {
        const uint32_t height = rows.Whole() + rows.NextExtra();
        if (height == 0)
            continue;
        const Pixel* current = source.Row(y);
        uint32_t written = height;
        if (!ruleApplies || y == 0 || y + 1 == geometry.sourceHeight) {
            kernels.spread(current, current, widths, reinterpret_cast<Pixel*>(out.row));
            RepeatRow(out, height);
        } else if (kernels.blockRowPairs && y + 1 < strip.bottom && y + 2 < geometry.sourceHeight) {
            const uint32_t secondHeight = rows.Whole() + rows.NextExtra();
            const Pixel* above = source.Row(y - 1);
            WriteRuleRowPair(kernels, {above, current, source.Row(y + 1), source.Row(y + 2)}, plan, out, height,
                             secondHeight);
            written += secondHeight;
            ++y;
        } else {
            const Pixel* above = source.Row(y - 1);
            WriteRuleRows(kernels, {above, current, source.Row(y + 1)}, plan, out, height, values);
        }
        out.row = RowBelow(out, written);
    }
}

template <typename Pixel, typename SourceRows>
void ScaleStrip(SourceRows& source, const ScaleGeometry& geometry, const PixelRect& strip, Pixel* output)
{
    const bool permuting = selectedKernels >= UpscaleKernels::Avx2 && RuleApplies(geometry);
    const StripPlan<Pixel> plan(geometry, strip, permuting ? selectedKernels : UpscaleKernels::Portable);
    ScaleStripRows(source, geometry, strip, plan, FirstOutputRow(geometry, strip, plan, output));
}

// Strips bound the buffers a row needs, so any frame width is served without
// allocating; each strip writes its own output columns.
template <typename ScaleOneStrip>
void ForEachStrip(const PixelRect& rect, ScaleOneStrip scaleStrip)
{
    if (rect.top == rect.bottom)
        return;
    for (uint32_t left = rect.left; left < rect.right;) {
        const uint32_t right = rect.right - left > stripColumns ? left + stripColumns : rect.right;
        scaleStrip(PixelRect{left, rect.top, right, rect.bottom});
        left = right;
    }
}

PixelRect WholeFrame(const ScaleGeometry& geometry)
{
    return {0, 0, geometry.sourceWidth, geometry.sourceHeight};
}

template <typename Lookup>
void ScaleExpandedRect(const typename Lookup::Source* sourcePixels, const Lookup& lookup, uint32_t* output,
                       const ScaleGeometry& geometry, const PixelRect& rect)
{
    ForEachStrip(rect, [&](const PixelRect& strip) {
        ExpandedRows<Lookup> rows(sourcePixels, geometry.sourcePitch, lookup, geometry.sourceWidth, strip);
        ScaleStrip(rows, geometry, strip, output);
    });
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
    ScaleExpandedRect(sourcePixels, PaletteLookup(screenColours), output, geometry, rect);
}

void ScaleFrame16(const uint16_t* sourcePixels, uint16_t* output, const ScaleGeometry& geometry)
{
    ScaleRect16(sourcePixels, output, geometry, WholeFrame(geometry));
}

void ScaleRect16(const uint16_t* sourcePixels, uint16_t* output, const ScaleGeometry& geometry,
                 const PixelRect& rect)
{
    ForEachStrip(rect, [&](const PixelRect& strip) {
        SourceRows16 rows(sourcePixels, geometry.sourcePitch, strip.left);
        ScaleStrip(rows, geometry, strip, output);
    });
}

void ScaleFrame16To32(const uint16_t* sourcePixels, uint32_t* output, const ScaleGeometry& geometry)
{
    ScaleRect16To32(sourcePixels, output, geometry, WholeFrame(geometry));
}

void ScaleRect16To32(const uint16_t* sourcePixels, uint32_t* output, const ScaleGeometry& geometry,
                     const PixelRect& rect)
{
    ScaleExpandedRect(sourcePixels, Rgb565Widening(), output, geometry, rect);
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
